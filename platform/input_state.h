#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

// A first-in first-out queue that keeps only its newest `Capacity` entries:
// a push onto a full queue drops the oldest entry, never the new one. The
// storage is fixed, so pushing never allocates and memory stays bounded.
template <typename T, std::size_t Capacity>
class BoundedQueue {
    static_assert(Capacity > 0);

public:
    static constexpr std::size_t kCapacity = Capacity;

    void Push(const T& value)
    {
        if (count == Capacity) {
            head = (head + 1) % Capacity;
            --count;
        }
        slots[(head + count) % Capacity] = value;
        ++count;
    }

    // Removes the oldest entry into `out`; false when the queue is empty.
    bool Pop(T& out)
    {
        if (count == 0) {
            return false;
        }
        out = slots[head];
        head = (head + 1) % Capacity;
        --count;
        return true;
    }

    // Removes the entries `wanted` accepts, oldest first; the others stay, in their order.
    template <typename Wanted>
    std::vector<T> TakeIf(Wanted&& wanted)
    {
        std::vector<T> taken;
        std::size_t kept = 0;
        for (std::size_t index = 0; index < count; ++index) {
            const T& value = slots[(head + index) % Capacity];
            if (wanted(value)) {
                taken.push_back(value);
            } else {
                slots[(head + kept++) % Capacity] = value;
            }
        }
        count = kept;
        return taken;
    }

    void Clear()
    {
        head = 0;
        count = 0;
    }

    bool Empty() const { return count == 0; }
    std::size_t Size() const { return count; }

    // Entry `index` counted from the oldest; index must be below Size().
    const T& operator[](std::size_t index) const { return slots[(head + index) % Capacity]; }

private:
    std::array<T, Capacity> slots{};
    std::size_t head = 0;
    std::size_t count = 0;
};

inline constexpr std::size_t kInputQueueLength = 16;

enum class KeyEventKind : std::int32_t {
    Press = 0,
    Release = 1,
};

struct KeyEvent {
    KeyEventKind kind = KeyEventKind::Press;
    std::uint8_t code = 0;

    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

enum class MouseEventKind : std::int32_t {
    LeftPress = 0,
    LeftRelease = 1,
    RightPress = 2,
    RightRelease = 3,
    WheelUp = 4,
    WheelDown = 5,
    Move = 6,
    Enter = 7,
    Leave = 8,
};

struct MouseEvent {
    MouseEventKind kind = MouseEventKind::Move;
    bool leftPressed = false;
    bool rightPressed = false;
    std::int32_t x = 0;
    std::int32_t y = 0;

    friend bool operator==(const MouseEvent&, const MouseEvent&) = default;
};

// Keys held down and the recent key and character input.
struct KeyboardState {
    // A key-down that repeats an already held key is accepted only when set.
    void KeyDown(std::uint8_t code, bool repeat);
    void KeyUp(std::uint8_t code);
    void Character(std::uint8_t character);
    // Focus went elsewhere: the key-ups will never arrive, so forget every
    // held key. Nothing is queued for them.
    void ClearKeys();
    // Empties the key-event queue; true when it held a press of `code`. A
    // key pressed and released between two looks is seen this way, where
    // its bit in keyStates is already clear again.
    bool TakeKeyPress(std::uint8_t code);
    // Takes the key events `wanted` accepts out of the queue, oldest first;
    // the others stay queued, in order, for whoever reads the queue next.
    std::vector<KeyEvent> TakeKeyEvents(bool (*wanted)(const KeyEvent&));

    bool autorepeat = false;
    std::bitset<256> keyStates;
    BoundedQueue<KeyEvent, kInputQueueLength> keyEvents;
    BoundedQueue<std::uint8_t, kInputQueueLength> chars;
};

// The pointer's position and buttons and the recent mouse input.
struct MouseState {
    // Stores the position and queues a Move carrying it.
    void RecordMove(std::int32_t mx, std::int32_t my);
    // Queues an event carrying the current flags and the stored position.
    void Queue(MouseEventKind kind);

    // Before the first recorded move, events report the client origin.
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool inWindow = false;
    bool leftPressed = false;
    bool rightPressed = false;
    BoundedQueue<MouseEvent, kInputQueueLength> events;
};
