// vantorel-extra.ini beside vantorel.ini: the settings that came after the fourteen lines, one
// "key=value" a line, so that vantorel.ini keeps the layout other tools read.
#pragma once
#include <string>

extern bool integer_scaling;  // the picture grows in whole multiples only ("Integer Scaling")

// Path of the file: the directory of vantorel.ini + "/vantorel-extra.ini".
std::string extra_settings_path();
// Reads the file as vantorel.ini is read: a missing file means every default, a damaged or
// missing value its own default, an unknown key is skipped.
void load_extra_settings();
// Replaces the file in one step; says on standard error when it could not.
void save_extra_settings();
