// The object list operations. A purge walks the nodes once and unlinks in place, so it takes
// time proportional to the list's length however many items leave.
#include "game/object_list.h"

ObjectList::~ObjectList() {
    markAll();
    purge();
}

void ObjectList::insert(ListedObject* item, std::int32_t index) {
    if (index < 0 || index > count_) {
        return;
    }
    Node* node = new Node{nullptr, nullptr, item};
    if (head_ == nullptr) {
        head_ = node;
        cursor_ = node;
    } else if (index == 0) {
        node->following = head_;
        head_->previous = node;
        head_ = node;
    } else {
        Node* before = head_;
        for (std::int32_t i = 1; i < index; ++i) {
            before = before->following;
        }
        node->previous = before;
        node->following = before->following;
        if (before->following != nullptr) {
            before->following->previous = node;
        }
        before->following = node;
    }
    ++count_;
    ++item->listCount;
}

void ObjectList::unlink(Node* node) {
    if (node->previous != nullptr) {
        node->previous->following = node->following;
    } else {
        head_ = node->following;
    }
    if (node->following != nullptr) {
        node->following->previous = node->previous;
    }
    if (cursor_ == node) {
        cursor_ = node->following;
    }
    delete node;
    --count_;
}

void ObjectList::markAll() {
    for (Node* node = head_; node != nullptr; node = node->following) {
        node->item->removalPending = true;
    }
    cursor_ = nullptr;
}

void ObjectList::purge() {
    Node* node = head_;
    while (node != nullptr) {
        Node* following = node->following;
        ListedObject* item = node->item;
        if (item->removalPending) {
            unlink(node);
            if (--item->listCount <= 0) {
                delete item;
            }
        }
        node = following;
    }
    cursor_ = nullptr;
}
