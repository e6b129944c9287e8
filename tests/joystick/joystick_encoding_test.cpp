// The hand controller's byte in AY register 14: directions, hat positions and button codes,
// and how the CPU's reads reach it through ports 0xF6 and 0xF7.
#include <gtest/gtest.h>

#include "core/extra_settings.h"
#include "core/ports.h"
#include "input/joystick.h"
#include "sound/audio_out.h"
#include "sound/ay.h"

namespace {

// First in the file: it looks at the state as the program starts.
TEST(JoystickStart, NoButtonIsHeldBeforeAnyEvent) {
  joystick_enabled = 1;
  EXPECT_EQ(joystick_encode(), 0xFF);
  joystick_enabled = 0;
}

class JoystickEncoding : public ::testing::Test {
 protected:
  void SetUp() override {
    AY_init();
    game = joystick_state{};
    joystick_enabled = 1;
  }
  void TearDown() override { joystick_enabled = 0; }
};

TEST_F(JoystickEncoding, DirectionsHatAndButtonsPullTheirLinesLow) {
  struct Case {
    int up, down, left, right, hat, button;
    uint8_t byte;
  };
  // Bits: 0 down, 1 right, 2 up, 3 left (active low); buttons clear the lines of their code.
  const Case cases[] = {
      {0, 0, 0, 0, 0, 0, 0xBF},     // button 0 is the initial "last pressed" value
      {0, 0, 0, 0, 0, 255, 0xFF},
      {0, 0, 1, 0, 0, 255, 0xF7},
      {0, 0, 0, 1, 0, 255, 0xFD},
      {1, 0, 0, 0, 0, 255, 0xFB},
      {0, 1, 0, 0, 0, 255, 0xFE},
      {0, 1, 0, 1, 0, 255, 0xFC},   // right and down
      {1, 1, 1, 1, 0, 255, 0xF0},   // both pairs at once are both encoded
      {0, 0, 0, 0, 1, 255, 0xFB},   // hat up
      {0, 0, 0, 0, 2, 255, 0xFD},   // right
      {0, 0, 0, 0, 3, 255, 0xF9},   // up-right
      {0, 0, 0, 0, 4, 255, 0xFE},   // down
      {0, 0, 0, 0, 6, 255, 0xFC},   // down-right
      {0, 0, 0, 0, 8, 255, 0xF7},   // left
      {0, 0, 0, 0, 9, 255, 0xF3},   // up-left
      {0, 0, 0, 0, 12, 255, 0xF6},  // down-left
      {0, 0, 0, 0, 5, 255, 0xFF},   // up+down is no position
      {0, 0, 0, 0, 15, 255, 0xFF},
      {0, 0, 0, 0, 0, 1, 0x7B},
      {0, 0, 0, 0, 0, 2, 0x5F},
      {0, 0, 0, 0, 0, 3, 0xDF},
      {0, 0, 0, 0, 0, 4, 0x7D},
      {0, 0, 0, 0, 0, 5, 0x7E},
      {0, 0, 0, 0, 0, 6, 0xFF},     // buttons past 5 have no code
      {0, 0, 0, 0, 0, -1, 0xFF},
      {0, 0, 0, 0, 9, 1, 0x73},     // hat up-left with button 1
      {0, 0, 1, 0, 4, 3, 0xD6},     // stick left, hat down, button 3
  };
  for (const Case& c : cases) {
    game.up = c.up; game.down = c.down; game.left = c.left; game.right = c.right;
    game.hat = c.hat; game.button = c.button;
    EXPECT_EQ(joystick_encode(), c.byte) << "up " << c.up << " down " << c.down << " left " << c.left
                                         << " right " << c.right << " hat " << c.hat << " button " << c.button;
  }
  // Without a joystick the byte is all ones whatever the state says.
  joystick_enabled = 0;
  game.left = 1;
  EXPECT_EQ(joystick_encode(), 0xFF);
}

TEST_F(JoystickEncoding, AxesHaveADeadZoneAndOnlyTheCentreReleases) {
  joystick_axis_motion(0, -32768);
  EXPECT_EQ(game.left, 1);
  joystick_axis_motion(0, 32767);   // pushed across: both set until the centre is seen
  EXPECT_EQ(game.right, 1);
  EXPECT_EQ(game.left, 1);
  joystick_axis_motion(0, -3200);   // the dead zone's edge counts as centred
  EXPECT_EQ(game.left + game.right, 0);
  joystick_axis_motion(0, -3201);
  EXPECT_EQ(game.left, 1);
  joystick_axis_motion(0, 3200);
  EXPECT_EQ(game.left + game.right, 0);
  joystick_axis_motion(0, 3201);
  EXPECT_EQ(game.right, 1);
  joystick_axis_motion(1, -3201);
  EXPECT_EQ(game.up, 1);
  joystick_axis_motion(1, 20000);
  EXPECT_EQ(game.down, 1);
  joystick_axis_motion(1, 0);
  EXPECT_EQ(game.up + game.down, 0);
  joystick_axis_motion(2, -32768);  // other axes are not the disc
  joystick_axis_motion(3, 32767);
  EXPECT_EQ(game.up + game.down + game.left, 0);
  EXPECT_EQ(game.right, 1);
  // Buttons: the last one pressed counts; releasing any drops it.
  joystick_button_down(2);
  joystick_button_down(0);
  EXPECT_EQ(game.button, 0);
  joystick_button_up();
  EXPECT_EQ(game.button, 255);
  joystick_hat_motion(0x109);       // only the low 8 bits are a position
  EXPECT_EQ(game.hat, 9);
}

TEST_F(JoystickEncoding, RegisterReadsRefreshButPortF7ReadsTheStoredByte) {
  game.button = 255;
  game.left = 1;
  // Port 0xF7 holds the select; reading 0xF6 with R14 selected encodes afresh.
  WritePort(0x00F7, 0x0E);
  EXPECT_EQ(ReadPort(0x00F6), 0xF7);
  EXPECT_EQ(snd.regs[14], 0xF7);
  game.left = 0;
  game.down = 1;
  // Reading port 0xF7 returns R14 as stored: no new encoding.
  EXPECT_EQ(ReadPort(0x00F7), 0xF7);
  EXPECT_EQ(ReadPort(0x00F6), 0xFE);
  EXPECT_EQ(ReadPort(0x00F7), 0xFE);
  // The second controller port reads 0xFF whatever is pressed.
  WritePort(0x00F7, 0x0F);
  EXPECT_EQ(ReadPort(0x00F6), 0xFF);
  // With no joystick R14 keeps what it last held.
  joystick_enabled = 0;
  WritePort(0x00F7, 0x0E);
  EXPECT_EQ(ReadPort(0x00F6), 0xFE);
}

// The keypad and the cursor keys as hand controller 1, through one encoding: two arrows give the
// diagonal the keypad's corner key gives, opposite ones cancel, the last controller key pressed
// counts until its release, and a set that is off takes no keys.
TEST_F(JoystickEncoding, KeypadAndCursorKeysShareTheDiscEncoding) {
  joystick_enabled = 0;
  keypad_controller = cursor_controller = true;
  constexpr uint32_t KP_7 = 0xFFB7, KP_STAR = 0xFFAA, LEFT = 0xFF51, UP = 0xFF52, DOWN = 0xFF54, INSERT = 0xFF63,
                     PAGE_DOWN = 0xFF56;
  const struct {
    uint32_t key;
    bool down;
    uint8_t byte;
  } steps[] = {{KP_7, true, 0xF3},       {KP_7, false, 0xFF},       {UP, true, 0xFB},    {LEFT, true, 0xF3},
               {DOWN, true, 0xF7},       {INSERT, true, 0xB7},      {PAGE_DOWN, true, 0x76},
               {PAGE_DOWN, false, 0xF7}, {DOWN, false, 0xF3},       {KP_STAR, true, 0x72}};
  for (const auto& step : steps) {
    EXPECT_TRUE(controller_key_event(step.key, step.down));
    EXPECT_EQ(snd.regs[14], step.byte) << std::hex << step.key << (step.down ? " down" : " up");
  }
  controller_keys_release();
  EXPECT_EQ(snd.regs[14], 0xFF);
  cursor_controller = false;
  EXPECT_FALSE(controller_key_event(UP, true));
  EXPECT_TRUE(controller_key_event(KP_STAR, true));
  keypad_controller = false;
  EXPECT_FALSE(controller_key_event(KP_7, true));
  controller_keys_release();
  EXPECT_EQ(snd.regs[14], 0xFF);
}

}  // namespace
