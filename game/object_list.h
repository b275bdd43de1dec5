// Object lists: doubly linked lists of game objects with one built-in cursor and deferred,
// shared removal. An object may sit in several lists. Nobody takes it out directly: its
// owner raises removalPending, each list drops it at its next purge, and the purge of the
// last list that held it deletes it. So an object can be flagged in the middle of a walk
// (an enemy eaten, a pellet collected) without disturbing the walk. The World owns its four
// lists; a list deletes what it holds when it goes.
#pragma once

#include <cstdint>

class ListedObject {
  public:
    virtual ~ListedObject() = default;
    bool removalPending = false;
    std::int32_t listCount = 0; // how many lists hold this object
};

class ObjectList {
  public:
    ObjectList() = default;
    virtual ~ObjectList();
    ObjectList(const ObjectList&) = delete;
    ObjectList& operator=(const ObjectList&) = delete;

    // Inserts before position index (0 front, size() back); an index beyond size() or below
    // 0 changes nothing.
    void insert(ListedObject* item, std::int32_t index);
    void rewind() { cursor_ = head_; }
    // The item under the cursor, moving the cursor on; null at the end.
    ListedObject* next() {
        if (cursor_ == nullptr) {
            return nullptr;
        }
        ListedObject* item = cursor_->item;
        cursor_ = cursor_->following;
        return item;
    }
    std::int32_t size() const { return count_; }
    void markAll();
    // Drops every flagged item; an item no other list holds is deleted.
    void purge();

  private:
    struct Node {
        Node* previous = nullptr;
        Node* following = nullptr;
        ListedObject* item = nullptr;
    };
    void unlink(Node* node);

    Node* cursor_ = nullptr;
    Node* head_ = nullptr;
    std::int32_t count_ = 0;
};
