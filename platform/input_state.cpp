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

bool KeyboardState::TakeKeyPress(std::uint8_t code)
{
    bool pressed = false;
    KeyEvent event;
    while (keyEvents.Pop(event)) {
        pressed = pressed || (event.kind == KeyEventKind::Press && event.code == code);
    }
    return pressed;
}

std::vector<KeyEvent> KeyboardState::TakeKeyEvents(bool (*wanted)(const KeyEvent&))
{
    return keyEvents.TakeIf(wanted);
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
