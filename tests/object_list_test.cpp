// Object lists: positional insertion, the cursor, shared deferred removal and destruction.
#include "game/object_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// An object that records its own destruction.
struct Tracked : ListedObject {
    explicit Tracked(int n, std::vector<int>* graveyard) : id(n), deaths(graveyard) {}
    ~Tracked() override { deaths->push_back(id); }
    int id;
    std::vector<int>* deaths;
};

std::vector<int> ids(ObjectList& list) {
    std::vector<int> out;
    list.rewind();
    while (ListedObject* o = list.next()) {
        out.push_back(static_cast<Tracked*>(o)->id);
    }
    return out;
}
} // namespace

TEST(ObjectList, InsertAtPositions) {
    std::vector<int> deaths;
    ObjectList list;
    auto* a = new Tracked(1, &deaths);
    auto* b = new Tracked(2, &deaths);
    auto* c = new Tracked(3, &deaths);
    auto* d = new Tracked(4, &deaths);
    list.insert(a, 0);           // [1]
    list.insert(b, list.size()); // [1 2]: append
    list.insert(c, 1);           // [1 3 2]
    list.insert(d, 0);           // [4 1 3 2]
    EXPECT_EQ(ids(list), (std::vector<int>{4, 1, 3, 2}));
    auto* e = new Tracked(5, &deaths);
    list.insert(e, list.size() + 1); // beyond the end: nothing
    list.insert(e, -1);              // before the front: nothing
    EXPECT_EQ(e->listCount, 0);
    EXPECT_EQ(list.size(), 4);
    delete e;
    EXPECT_EQ(a->listCount, 1);
}

TEST(ObjectList, CursorBehaviour) {
    std::vector<int> deaths;
    ObjectList list;
    auto* a = new Tracked(1, &deaths);
    list.insert(a, 0);
    // Inserting into an empty list puts the cursor on the new node.
    EXPECT_EQ(list.next(), a);
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.next(), nullptr); // stays at the end until rewound
    list.rewind();
    EXPECT_EQ(list.next(), a);
    // A purge with nothing flagged changes nothing and leaves the cursor at the end.
    list.rewind();
    list.purge();
    EXPECT_EQ(list.next(), nullptr);
    EXPECT_EQ(list.size(), 1);
    EXPECT_TRUE(deaths.empty());
}

TEST(ObjectList, SharedRemovalDestroysAtTheLastList) {
    std::vector<int> deaths;
    {
        ObjectList first, second;
        std::vector<Tracked*> items;
        for (int i = 0; i < 6; ++i) {
            items.push_back(new Tracked(i, &deaths));
            first.insert(items.back(), first.size());
            if (i % 2 == 0) {
                second.insert(items.back(), 0);
            }
        }
        // 0, 2 and 4 are in both lists. Flag 2 and 3, and the ends 0 and 5.
        for (int i : {0, 2, 3, 5}) {
            items[i]->removalPending = true;
        }
        first.purge();
        EXPECT_EQ(ids(first), (std::vector<int>{1, 4}));
        EXPECT_EQ(deaths, (std::vector<int>{3, 5})); // held by first only
        EXPECT_EQ(items[0]->listCount, 1);
        second.purge();
        EXPECT_EQ(ids(second), (std::vector<int>{4}));
        EXPECT_EQ(deaths, (std::vector<int>{3, 5, 2, 0}));

        // markAll on one list makes another list drop the same objects at its purge.
        second.markAll();
        first.purge();
        EXPECT_EQ(ids(first), (std::vector<int>{1}));
        EXPECT_EQ(items[4]->listCount, 1);
        // Destroying a list destroys what it alone held, and flags the rest.
    }
    EXPECT_EQ(deaths, (std::vector<int>{3, 5, 2, 0, 4, 1}));
}
