#include "platform/input_state.h"

void KeyboardState::KeyDown(std::uint8_t code, bool repeat)
{
    if (repeat && !autorepeat) {
        return;
    }
    keyStates.set(code);
    keyEvents.Push(KeyEvent{KeyEventKind::Press, code});
}

void KeyboardState::KeyUp(std::uint8_t code)
{
    keyStates.reset(code);
    keyEvents.Push(KeyEvent{KeyEventKind::Release, code});
}

void KeyboardState::Character(std::uint8_t character)
{
    chars.Push(character);
}

void KeyboardState::ClearKeys()
{
    keyStates.reset();
}

void MouseState::RecordMove(std::int32_t mx, std::int32_t my)
{
    x = mx;
    y = my;
    Queue(MouseEventKind::Move);
}

void MouseState::Queue(MouseEventKind kind)
{
    events.Push(MouseEvent{kind, leftPressed, rightPressed, x, y});
}
