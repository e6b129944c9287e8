// The frame-start poll against SDL's own event queue: a virtual joystick is moved and pressed
// through SDL's API, and the CPU's view of register 14 must follow.
#include <SDL.h>
#include <gtest/gtest.h>

#include "core/host.h"
#include "core/ports.h"
#include "input/joystick.h"
#include "sound/ay.h"
#include "ui/joystick_device.h"

namespace {

class VirtualJoystick : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_Init(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 8, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    ASSERT_EQ(SDL_NumJoysticks(), 1) << "the test expects the virtual joystick to be the only one";
    AY_init();
    game = joystick_state{};
    init_joysticks();
    ASSERT_EQ(joystick_enabled, 1);
    ASSERT_NE(game.joystick, nullptr);
    stick = static_cast<SDL_Joystick*>(game.joystick);
  }
  void TearDown() override {
    close_joysticks();
    SDL_JoystickDetachVirtual(0);
    SDL_Quit();
  }
  uint8_t register_14() {
    get_joystick_state();
    snd.reg_select = 14;
    return AY_reg_read();
  }
  SDL_Joystick* stick = nullptr;
};

TEST_F(VirtualJoystick, StickHatAndButtonsReachRegister14) {
  // Nothing is pressed at start: in particular button 0 (code 0xBF) is not.
  EXPECT_EQ(register_14(), 0xFF);
  SDL_JoystickSetVirtualButton(stick, 3, SDL_PRESSED);
  EXPECT_EQ(register_14(), 0xDF);
  SDL_JoystickSetVirtualButton(stick, 3, SDL_RELEASED);
  EXPECT_EQ(register_14(), 0xFF);

  SDL_JoystickSetVirtualAxis(stick, 0, -32768);
  EXPECT_EQ(register_14(), 0xF7);  // full left
  SDL_JoystickSetVirtualAxis(stick, 0, 0);
  EXPECT_EQ(register_14(), 0xFF);
  SDL_JoystickSetVirtualAxis(stick, 0, 32767);
  SDL_JoystickSetVirtualAxis(stick, 1, 32767);
  EXPECT_EQ(register_14(), 0xFC);  // right and down
  SDL_JoystickSetVirtualAxis(stick, 0, 3200);
  SDL_JoystickSetVirtualAxis(stick, 1, -3200);
  EXPECT_EQ(register_14(), 0xFF);  // the dead zone's edges count as centred
  SDL_JoystickSetVirtualAxis(stick, 1, -3201);
  EXPECT_EQ(register_14(), 0xFB);
  SDL_JoystickSetVirtualAxis(stick, 1, 0);

  SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_LEFTUP);
  SDL_JoystickSetVirtualButton(stick, 1, SDL_PRESSED);
  EXPECT_EQ(register_14(), 0x73);  // hat up-left with button 1
  SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_RIGHTDOWN);
  EXPECT_EQ(register_14(), 0x78);
  SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_CENTERED);
  SDL_JoystickSetVirtualButton(stick, 1, SDL_RELEASED);
  EXPECT_EQ(register_14(), 0xFF);

  // Button 2 held, button 0 pressed and released: no button is encoded any more.
  SDL_JoystickSetVirtualButton(stick, 2, SDL_PRESSED);
  EXPECT_EQ(register_14(), 0x5F);
  SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
  EXPECT_EQ(register_14(), 0xBF);
  SDL_JoystickSetVirtualButton(stick, 0, SDL_RELEASED);
  EXPECT_EQ(register_14(), 0xFF);

  // Register 15 is controller 2, which has no joystick here; port 0xF7 returns R14 as last
  // stored, without a new encoding.
  snd.reg_select = 15;
  EXPECT_EQ(AY_reg_read(), 0xFF);
  SDL_JoystickSetVirtualAxis(stick, 0, -20000);
  get_joystick_state();
  EXPECT_EQ(game.left, 1);
  EXPECT_EQ(ReadPort(0x00F7), 0xFF);
  EXPECT_EQ(register_14(), 0xF7);
  EXPECT_EQ(ReadPort(0x00F7), 0xF7);
}

TEST_F(VirtualJoystick, ClosedJoystickStopsThePoll) {
  SDL_JoystickSetVirtualAxis(stick, 0, -32768);
  close_joysticks();
  EXPECT_EQ(joystick_enabled, 0);
  EXPECT_EQ(game.joystick, nullptr);
  get_joystick_state();
  EXPECT_EQ(game.left, 0);
  snd.reg_select = 14;
  EXPECT_EQ(AY_reg_read(), 0xFF);
}

// A second joystick is hand controller 2, read through register 15; joysticks plugged in and
// out while the machine runs take and free their controllers.
TEST_F(VirtualJoystick, SecondJoystickIsControllerTwoAndPlugsInAndOut) {
  auto register_15 = [] {
    get_joystick_state();
    snd.reg_select = 15;
    return AY_reg_read();
  };
  const int second = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 8, 1);
  ASSERT_GE(second, 0) << SDL_GetError();
  EXPECT_EQ(register_15(), 0xFF) << "plugged in, nothing pressed";
  ASSERT_EQ(joystick_enabled, 3);
  SDL_Joystick* stick2 = static_cast<SDL_Joystick*>(hand_controller[1].joystick);
  ASSERT_NE(stick2, nullptr);
  SDL_JoystickSetVirtualAxis(stick2, 0, -32768);
  SDL_JoystickSetVirtualButton(stick2, 3, SDL_PRESSED);
  EXPECT_EQ(register_15(), 0xD7);  // left with button 3
  EXPECT_EQ(register_14(), 0xFF) << "controller 1 is not moved by the second joystick";
  SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
  EXPECT_EQ(register_14(), 0xBF);
  EXPECT_EQ(register_15(), 0xD7);
  // Unplugging controller 1 frees it, with nothing left pressed; controller 2 keeps going.
  SDL_JoystickDetachVirtual(0);
  EXPECT_EQ(register_14(), 0xFF);
  EXPECT_EQ(joystick_enabled, 2);
  EXPECT_EQ(register_15(), 0xD7);
  // A joystick plugged in again takes the free controller 1.
  ASSERT_GE(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 8, 1), 0) << SDL_GetError();
  get_joystick_state();
  EXPECT_EQ(joystick_enabled, 3);
  stick = static_cast<SDL_Joystick*>(game.joystick);
  SDL_JoystickSetVirtualAxis(stick, 1, 32767);
  EXPECT_EQ(register_14(), 0xFE);  // down
}

}  // namespace
