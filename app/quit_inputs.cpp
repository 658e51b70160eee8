#include "app/quit_inputs.h"

LoopAction loop_action(InputEvent event) {
  switch (event) {
    case InputEvent::EscapeDown:
    case InputEvent::RightButtonDown:
    case InputEvent::WindowClosed:
    case InputEvent::QuitRequested:
      return LoopAction::EndProcess;
    case InputEvent::OtherKeyDown:
    case InputEvent::LeftButtonDown:
    case InputEvent::OtherButtonDown:
    case InputEvent::Other:
      return LoopAction::Continue;
  }
  return LoopAction::Continue;
}
