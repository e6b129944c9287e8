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

  // Register 15 is not wired; port 0xF7 returns R14 as last stored, without a new encoding.
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

}  // namespace
