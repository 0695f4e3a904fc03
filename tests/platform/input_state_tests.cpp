#include "platform/input_state.h"

#include <gtest/gtest.h>

TEST(BoundedQueue, KeepsTheNewestEntriesInOrderAcrossWrapAround)
{
    BoundedQueue<int, 4> queue;
    int out = 0;
    EXPECT_FALSE(queue.Pop(out));
    for (int i = 1; i <= 10; ++i) {
        queue.Push(i);
    }
    ASSERT_EQ(queue.Size(), 4u);
    EXPECT_EQ(queue[0], 7);
    EXPECT_EQ(queue[3], 10);
    ASSERT_TRUE(queue.Pop(out));
    EXPECT_EQ(out, 7);
    queue.Push(11);
    queue.Push(12);  // full again: 8 drops out
    ASSERT_EQ(queue.Size(), 4u);
    for (int expected : {9, 10, 11, 12}) {
        ASSERT_TRUE(queue.Pop(out));
        EXPECT_EQ(out, expected);
    }
    EXPECT_TRUE(queue.Empty());
    queue.Push(1);
    queue.Clear();
    EXPECT_TRUE(queue.Empty());

    // A filtered take across the wrap: the taken and the kept each in order,
    // and the queue goes on from what it kept.
    for (int i = 1; i <= 7; ++i) {
        queue.Push(i);
    }
    EXPECT_EQ(queue.TakeIf([](int value) { return value % 2 == 0; }), (std::vector<int>{4, 6}));
    queue.Push(8);
    for (int expected : {5, 7, 8}) {
        ASSERT_TRUE(queue.Pop(out));
        EXPECT_EQ(out, expected);
    }
    EXPECT_TRUE(queue.Empty());
}

TEST(InputState, EventsBeforeAnyMoveReportTheOrigin)
{
    MouseState mouse;
    mouse.rightPressed = true;
    mouse.Queue(MouseEventKind::RightPress);
    EXPECT_EQ(mouse.events[0], (MouseEvent{MouseEventKind::RightPress, false, true, 0, 0}));
}
