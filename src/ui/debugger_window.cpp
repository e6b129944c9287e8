// The debugger window: the machine's state laid out to be read while it runs and changed while
// it is stopped; Run, Break and the steps on the keys debuggers use. Every look and every change
// goes through the machine's own functions (run control, debug_peek, debug_poke, the
// disassembler and the symbols): the window shows and asks, the machine does.
#include "ui/debugger_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/extra_settings.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/ports.h"
#include "debug/disassembler.h"
#include "debug/run_control.h"
#include "debug/symbols.h"
#include "sound/audio_out.h"
#include "sound/ay.h"
#include "ui/desktop.h"
#include "z80/z80.h"

GtkWidget* debugger_window;

namespace {

constexpr int LISTING_LINES = 24;
// PC inside the listing keeps it where it is, so that what led there stays in view, unless it
// is this close to the end.
constexpr int LISTING_LOOKAHEAD = 6;
constexpr int MEMORY_ROWS = 16;
constexpr int STACK_WORDS = 8;
constexpr guint RUNNING_REFRESH_MS = 250;

// ---- Text ----

std::string hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "$%04X", value);
  return text;
}

std::string hex2(uint8_t value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

// An address and the label it lies at or after, as the user may type it back.
std::string with_label(uint16_t address) {
  const std::string label = describe_address(debug_symbols, address);
  return label.empty() ? hex4(address) : hex4(address) + " " + label;
}

std::string access_text(const StopEvent& stop) {
  const std::string value = "$" + hex2(stop.value);
  switch (stop.access) {
    case AccessKind::memory_read: return "read of " + value + " from " + with_label(stop.address);
    case AccessKind::memory_write: return "write of " + value + " to " + with_label(stop.address);
    case AccessKind::port_read: return "read of " + value + " from port $" + hex2(stop.address & 0xFF);
    case AccessKind::port_write: return "write of " + value + " to port $" + hex2(stop.address & 0xFF);
    case AccessKind::none: break;
  }
  return "access";
}

std::string stop_text(const StopEvent& stop) {
  const std::string by = " by the instruction at " + with_label(stop.instruction_pc);
  switch (stop.reason) {
    case StopReason::breakpoint: return "breakpoint " + std::to_string(stop.id) + " at " + with_label(stop.address);
    case StopReason::watchpoint: return "watchpoint " + std::to_string(stop.id) + ": " + access_text(stop) + by;
    case StopReason::step: return "step done";
    case StopReason::run_to: return "arrived at " + with_label(stop.pc);
    case StopReason::break_request: return "Break";
    case StopReason::frame_start: return "start of a frame";
    case StopReason::unwritten_read: return access_text(stop) + ", never written since power-on," + by;
    case StopReason::none: break;
  }
  return "";
}

// ---- Widgets ----

struct register_field {
  const char* name;
  uint16_t* word;  // a register pair, or
  uint8_t* byte;   // a byte register
  GtkWidget* entry;
};

register_field registers[] = {
    {"AF", &z80.af.w, nullptr, nullptr},     {"BC", &z80.bc.w, nullptr, nullptr},
    {"DE", &z80.de.w, nullptr, nullptr},     {"HL", &z80.hl.w, nullptr, nullptr},
    {"AF'", &z80.af_alt.w, nullptr, nullptr}, {"BC'", &z80.bc_alt.w, nullptr, nullptr},
    {"DE'", &z80.de_alt.w, nullptr, nullptr}, {"HL'", &z80.hl_alt.w, nullptr, nullptr},
    {"IX", &z80.ix.w, nullptr, nullptr},     {"IY", &z80.iy.w, nullptr, nullptr},
    {"SP", &z80.sp, nullptr, nullptr},       {"PC", &z80.pc, nullptr, nullptr},
    {"I", nullptr, &z80.i, nullptr},         {"R", nullptr, &z80.r, nullptr},
    {"IM", nullptr, &z80.im, nullptr},
};
constexpr int REGISTERS_PER_ROW = 4;

struct flag_box {
  const char* name;
  uint8_t bit;
  GtkWidget* check;
};
flag_box flags[] = {{"S", FLAG_S, nullptr},  {"Z", FLAG_Z, nullptr},   {"5", FLAG_5, nullptr},
                    {"H", FLAG_H, nullptr},  {"3", FLAG_3, nullptr},   {"P/V", FLAG_PV, nullptr},
                    {"N", FLAG_N, nullptr},  {"C", FLAG_C, nullptr}};
GtkWidget* iff_checks[2];

GtkWidget* state_label;    // "Running" or the stop
GtkWidget* message_label;  // what was refused (a typed address, a write to ROM); empty otherwise
GtkWidget* run_button;
GtkWidget* break_button;
GtkWidget* step_buttons[4];  // into, over, out, next frame
GtkWidget* raster_label;
GtkWidget* stack_label;
GtkWidget* ports_label;
GtkWidget* ay_label;

enum { LISTING_MARK, LISTING_ADDRESS, LISTING_LABEL, LISTING_BYTES, LISTING_TEXT, LISTING_WEIGHT, LISTING_COLUMNS };
GtkListStore* listing;
GtkWidget* listing_view;
GtkTreeViewColumn* marker_column;
uint16_t listing_addresses[LISTING_LINES];
bool listing_filled;

enum { MEMORY_ADDRESS, MEMORY_FIRST_BYTE, MEMORY_CHARACTERS = MEMORY_FIRST_BYTE + 16, MEMORY_COLUMNS };
GtkListStore* memory_rows;
GtkWidget* memory_view;
GtkCellRenderer* memory_cells[17];  // the 16 bytes and the characters
GtkWidget* goto_entry;
uint16_t memory_base = 0x3000;

enum { STOP_ENABLED, STOP_ID, STOP_KIND, STOP_WHERE, STOP_HITS, STOP_IS_BREAKPOINT, STOP_COLUMNS };
GtkListStore* stop_rows;
GtkWidget* stops_view;
GtkWidget* breakpoint_entry;
GtkWidget* skip_hits_spin;
GtkWidget* watch_space_combo;
GtkWidget* watch_first_entry;
GtkWidget* watch_last_entry;
GtkWidget* watch_read_check;
GtkWidget* watch_write_check;

enum { HISTORY_FRAME, HISTORY_T_STATE, HISTORY_ADDRESS, HISTORY_TEXT, HISTORY_COLUMNS };
GtkListStore* history_rows;
GtkWidget* history_view;
GtkWidget* history_label;
bool history_shown;

guint refresh_timer;
// The window writes its own widgets: their change handlers must not act on the machine.
bool refreshing;
// The registers as the window last showed them.
Z80State shown_cpu;
// What follow_machine_stops last saw.
uint32_t seen_stop_count;
bool sound_held;

GtkWidget* power_on_ramx[2];
const char* const power_on_ram_names[2] = {"Zero", "Random"};

void say(const std::string& text) {
  if (message_label) gtk_label_set_text(GTK_LABEL(message_label), text.c_str());
}

GtkCssProvider* monospace_style;

void monospace(GtkWidget* widget) {
  if (!monospace_style) {
    monospace_style = gtk_css_provider_new();
    gtk_css_provider_load_from_data(monospace_style, "* { font-family: monospace; }", -1, nullptr);
  }
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(monospace_style),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// ---- Views ----

uint16_t register_value(const register_field& field) {
  if (field.word) return *field.word;
  // The refresh counter runs in the low seven bits; bit 7 is what LD R,A last wrote.
  if (field.byte == &z80.r) return static_cast<uint16_t>((z80.r7 & 0x80) | (z80.r & 0x7F));
  return *field.byte;
}

std::string register_text(const register_field& field) {
  char text[8];
  if (field.byte == &z80.im)
    std::snprintf(text, sizeof text, "%u", register_value(field));
  else
    std::snprintf(text, sizeof text, field.word ? "%04X" : "%02X", register_value(field));
  return text;
}

void refresh_registers(bool stopped) {
  for (register_field& field : registers) {
    gtk_entry_set_text(GTK_ENTRY(field.entry), register_text(field).c_str());
    gtk_editable_set_editable(GTK_EDITABLE(field.entry), stopped);
  }
  for (flag_box& flag : flags) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(flag.check), (z80.af.b.l & flag.bit) != 0);
    gtk_widget_set_sensitive(flag.check, stopped);
  }
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(iff_checks[0]), z80.iff1 != 0);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(iff_checks[1]), z80.iff2 != 0);
  for (GtkWidget* check : iff_checks) gtk_widget_set_sensitive(check, stopped);
}

const char* breakpoint_mark(uint16_t address) {
  const char* mark = "  ";
  for (const Breakpoint& breakpoint : breakpoint_list()) {
    if (breakpoint.address != address) continue;
    if (breakpoint.enabled) return "●";
    mark = "○";
  }
  return mark;
}

bool listing_holds(uint16_t address) {
  if (!listing_filled) return false;
  for (int line = 0; line < LISTING_LINES - LISTING_LOOKAHEAD; ++line)
    if (listing_addresses[line] == address) return true;
  return false;
}

void fill_listing() {
  const uint16_t pc = z80.pc;
  uint16_t address = listing_holds(pc) ? listing_addresses[0] : pc;
  GtkTreeIter row;
  gtk_tree_model_get_iter_first(GTK_TREE_MODEL(listing), &row);
  for (int line = 0; line < LISTING_LINES; ++line) {
    const DisassembledInstruction instruction = disassemble_at(address, debug_peek, &debug_symbols);
    std::string bytes;
    for (int i = 0; i < instruction.length; ++i)
      bytes += (i ? " " : "") + hex2(debug_peek(static_cast<uint16_t>(address + i)));
    const char* label = symbol_at(debug_symbols, address);
    const std::string mark = std::string(breakpoint_mark(address)) + (address == pc ? "▶" : " ");
    gtk_list_store_set(listing, &row, LISTING_MARK, mark.c_str(), LISTING_ADDRESS, hex4(address).c_str(),
                       LISTING_LABEL, label ? label : "", LISTING_BYTES, bytes.c_str(), LISTING_TEXT,
                       instruction.text, LISTING_WEIGHT, address == pc ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL, -1);
    listing_addresses[line] = address;
    address = static_cast<uint16_t>(address + instruction.length);
    gtk_tree_model_iter_next(GTK_TREE_MODEL(listing), &row);
  }
  listing_filled = true;
}

void fill_memory(bool stopped) {
  GtkTreeIter row;
  gtk_tree_model_get_iter_first(GTK_TREE_MODEL(memory_rows), &row);
  for (int line = 0; line < MEMORY_ROWS; ++line) {
    const uint16_t start = static_cast<uint16_t>(memory_base + 16 * line);
    std::string characters;
    gtk_list_store_set(memory_rows, &row, MEMORY_ADDRESS, hex4(start).c_str(), -1);
    for (int column = 0; column < 16; ++column) {
      const uint8_t value = debug_peek(static_cast<uint16_t>(start + column));
      gtk_list_store_set(memory_rows, &row, MEMORY_FIRST_BYTE + column, hex2(value).c_str(), -1);
      characters += value >= 0x20 && value < 0x7F ? static_cast<char>(value) : '.';
    }
    gtk_list_store_set(memory_rows, &row, MEMORY_CHARACTERS, characters.c_str(), -1);
    gtk_tree_model_iter_next(GTK_TREE_MODEL(memory_rows), &row);
  }
  for (GtkCellRenderer* cell : memory_cells) g_object_set(cell, "editable", stopped, nullptr);
}

void refresh_readouts() {
  char text[160];
  const uint32_t line_length = tstates_per_line ? tstates_per_line : 1;
  std::snprintf(text, sizeof text, "Frame %u  line %u  T-state %u of the line, %u of the frame",
                static_cast<unsigned>(frame_counter), static_cast<unsigned>(t_state / line_length),
                static_cast<unsigned>(t_state % line_length), static_cast<unsigned>(t_state));
  gtk_label_set_text(GTK_LABEL(raster_label), text);

  std::string stack = "Stack\n";
  for (int word = 0; word < STACK_WORDS; ++word) {
    const uint16_t at = static_cast<uint16_t>(z80.sp + 2 * word);
    const uint16_t value = static_cast<uint16_t>(debug_peek(at) | debug_peek(static_cast<uint16_t>(at + 1)) << 8);
    std::snprintf(text, sizeof text, "SP+%-2d %s\n", 2 * word, with_label(value).c_str());
    stack += text;
  }
  stack.pop_back();
  gtk_label_set_text(GTK_LABEL(stack_label), stack.c_str());

  std::snprintf(text, sizeof text, "Ports\nFF cartridge key  $%02X\nFC sound, tape    $%02X\nFE printer        $%02X",
                PORTxxFF, PORTxxFC, PORTxxFE);
  gtk_label_set_text(GTK_LABEL(ports_label), text);

  std::string ay = "AY-3-8910, R" + std::to_string(snd.reg_select & 0x0F) + " selected";
  for (int reg = 0; reg < 16; ++reg) {
    std::snprintf(text, sizeof text, "%sR%-2d %02X", reg % 4 ? "  " : "\n", reg, snd.regs[reg]);
    ay += text;
  }
  gtk_label_set_text(GTK_LABEL(ay_label), ay.c_str());
}

int selected_stop_id() {
  GtkTreeModel* model = nullptr;
  GtkTreeIter row;
  int id = 0;
  if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(stops_view)), &model, &row))
    gtk_tree_model_get(model, &row, STOP_ID, &id, -1);
  return id;
}

std::string range_text(WatchSpace space, uint16_t first, uint16_t last) {
  auto one = [space](uint16_t at) { return space == WatchSpace::port ? "$" + hex2(static_cast<uint8_t>(at)) : with_label(at); };
  return first == last ? one(first) : one(first) + " – " + one(last);
}

void fill_stop_list() {
  const int selected = selected_stop_id();
  gtk_list_store_clear(stop_rows);
  GtkTreeIter row;
  for (const Breakpoint& breakpoint : breakpoint_list()) {
    std::string hits = std::to_string(breakpoint.hits);
    if (breakpoint.skip_hits) hits += " (stops after " + std::to_string(breakpoint.skip_hits) + ")";
    gtk_list_store_insert_with_values(stop_rows, &row, -1, STOP_ENABLED, breakpoint.enabled, STOP_ID, breakpoint.id,
                                      STOP_KIND, "Breakpoint", STOP_WHERE, with_label(breakpoint.address).c_str(),
                                      STOP_HITS, hits.c_str(), STOP_IS_BREAKPOINT, TRUE, -1);
  }
  for (const Watchpoint& watch : watchpoint_list()) {
    std::string kind = watch.space == WatchSpace::port ? "Port " : "Memory ";
    kind += watch.on_read && watch.on_write ? "read, write" : watch.on_read ? "read" : "write";
    gtk_list_store_insert_with_values(stop_rows, &row, -1, STOP_ENABLED, watch.enabled, STOP_ID, watch.id, STOP_KIND,
                                      kind.c_str(), STOP_WHERE, range_text(watch.space, watch.first, watch.last).c_str(),
                                      STOP_HITS, std::to_string(watch.hits).c_str(), STOP_IS_BREAKPOINT, FALSE, -1);
  }
  gboolean more = gtk_tree_model_get_iter_first(GTK_TREE_MODEL(stop_rows), &row);
  for (; more && selected; more = gtk_tree_model_iter_next(GTK_TREE_MODEL(stop_rows), &row)) {
    int id = 0;
    gtk_tree_model_get(GTK_TREE_MODEL(stop_rows), &row, STOP_ID, &id, -1);
    if (id == selected) gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(stops_view)), &row);
  }
}

// The history shows what ran as the memory holds it now: code that rewrote itself since shows
// its new form.
void fill_history(bool stopped) {
  if (!stopped) {
    if (history_shown) {
      gtk_list_store_clear(history_rows);
      gtk_label_set_text(GTK_LABEL(history_label), "The instructions run last are shown while the machine is stopped.");
      history_shown = false;
    }
    return;
  }
  g_object_ref(history_rows);
  gtk_tree_view_set_model(GTK_TREE_VIEW(history_view), nullptr);
  gtk_list_store_clear(history_rows);
  const size_t count = history_size();
  GtkTreeIter row;
  for (size_t age = count; age-- > 0;) {
    const HistoryEntry entry = history_entry(age);
    const DisassembledInstruction instruction = disassemble_at(entry.pc, debug_peek, &debug_symbols);
    gtk_list_store_insert_with_values(history_rows, &row, -1, HISTORY_FRAME, entry.frame, HISTORY_T_STATE,
                                      entry.t_state, HISTORY_ADDRESS, with_label(entry.pc).c_str(), HISTORY_TEXT,
                                      instruction.text, -1);
  }
  gtk_tree_view_set_model(GTK_TREE_VIEW(history_view), GTK_TREE_MODEL(history_rows));
  g_object_unref(history_rows);
  if (count) {
    GtkTreePath* last = gtk_tree_path_new_from_indices(static_cast<int>(count - 1), -1);
    gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(history_view), last, nullptr, FALSE, 0, 0);
    gtk_tree_path_free(last);
  }
  const std::string text = "The last " + std::to_string(count) + " instructions, the most recent last.";
  gtk_label_set_text(GTK_LABEL(history_label), text.c_str());
  history_shown = true;
}

void refresh_controls(bool stopped) {
  gtk_widget_set_sensitive(run_button, stopped);
  gtk_widget_set_sensitive(break_button, !stopped);
  for (GtkWidget* button : step_buttons) gtk_widget_set_sensitive(button, stopped);
  const std::string state = stopped ? "Stopped: " + stop_text(last_stop()) : "Running";
  gtk_label_set_text(GTK_LABEL(state_label), state.c_str());
}

void refresh_all() {
  if (!debugger_window) return;
  refreshing = true;
  const bool stopped = machine_stopped();
  refresh_controls(stopped);
  refresh_registers(stopped);
  fill_listing();
  fill_memory(stopped);
  refresh_readouts();
  fill_stop_list();
  fill_history(stopped);
  std::memcpy(&shown_cpu, &z80, sizeof z80);
  refreshing = false;
}

// A stopped machine changes only when asked: by this window, which shows the change at once, or
// by a GDB client or a state loaded, which show in the registers.
gboolean on_refresh_tick(gpointer) {
  GdkWindow* shown = debugger_window ? gtk_widget_get_window(debugger_window) : nullptr;
  if (!shown || !gtk_widget_get_mapped(debugger_window) || (gdk_window_get_state(shown) & GDK_WINDOW_STATE_ICONIFIED))
    return G_SOURCE_CONTINUE;
  if (!machine_stopped() || std::memcmp(&shown_cpu, &z80, sizeof z80) != 0) refresh_all();
  return G_SOURCE_CONTINUE;
}

// ---- Actions ----

void on_run(GtkWidget*, gpointer) {
  if (!machine_stopped()) return;
  say("");
  resume();
  refresh_all();
}

void on_break(GtkWidget*, gpointer) {
  if (!machine_stopped()) request_break();
}

// A step leaves the window as it is until the machine stops again, a moment later; one that
// runs longer (over a call that waits for a key) shows "Running" at the next refresh.
void on_step(GtkWidget*, gpointer kind) {
  if (!machine_stopped()) return;
  say("");
  switch (GPOINTER_TO_INT(kind)) {
    case 0: step_into(); break;
    case 1: step_over(); break;
    case 2: step_out(); break;
    default: break_at_next_frame(); resume(); break;
  }
}

// False after saying why the text is not an address.
bool typed_address(GtkWidget* entry, uint16_t& address) {
  const ParsedAddress parsed = parse_address(gtk_entry_get_text(GTK_ENTRY(entry)), &debug_symbols);
  if (!parsed.ok) {
    say(parsed.error);
    return false;
  }
  address = parsed.address;
  return true;
}

void toggle_breakpoint(uint16_t address) {
  if (!remove_breakpoints_at(address)) add_breakpoint(address);
  refresh_all();
}

gboolean on_listing_press(GtkWidget* view, GdkEventButton* event, gpointer) {
  if (event->type != GDK_BUTTON_PRESS || event->button != 1 || event->window != gtk_tree_view_get_bin_window(GTK_TREE_VIEW(view)))
    return FALSE;
  GtkTreePath* path = nullptr;
  GtkTreeViewColumn* column = nullptr;
  if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(view), static_cast<gint>(event->x), static_cast<gint>(event->y), &path,
                                     &column, nullptr, nullptr))
    return FALSE;
  const int line = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  if (column != marker_column || line < 0 || line >= LISTING_LINES) return FALSE;
  toggle_breakpoint(listing_addresses[line]);
  return TRUE;
}

// A double click (or Return) on a line runs to it.
void on_listing_activated(GtkTreeView*, GtkTreePath* path, GtkTreeViewColumn* column, gpointer) {
  const int line = gtk_tree_path_get_indices(path)[0];
  if (column == marker_column || line < 0 || line >= LISTING_LINES) return;
  say("");
  run_to_address(listing_addresses[line]);
  refresh_all();
}

void apply_register(register_field& field) {
  if (refreshing || !machine_stopped()) return;
  const std::string text = gtk_entry_get_text(GTK_ENTRY(field.entry));
  if (text == register_text(field)) return;
  if (field.byte == &z80.im) {
    if (text == "0" || text == "1" || text == "2")
      z80.im = static_cast<uint8_t>(text[0] - '0');
    else
      say("IM is 0, 1 or 2");
  } else {
    const ParsedAddress parsed = parse_address(text, &debug_symbols);
    if (!parsed.ok)
      say(parsed.error);
    else if (field.byte && parsed.address > 0xFF)
      say(std::string(field.name) + " holds one byte: '" + text + "' is too large");
    else if (field.word)
      *field.word = parsed.address;
    else if (field.byte == &z80.r)
      z80.r = z80.r7 = static_cast<uint8_t>(parsed.address);
    else
      *field.byte = static_cast<uint8_t>(parsed.address);
  }
  refresh_all();
}

void on_register_activate(GtkEntry*, gpointer field) { apply_register(*static_cast<register_field*>(field)); }
gboolean on_register_focus_out(GtkWidget*, GdkEvent*, gpointer field) {
  if (debugger_window) apply_register(*static_cast<register_field*>(field));
  return FALSE;
}

void on_flag_toggled(GtkToggleButton* check, gpointer flag) {
  if (refreshing || !machine_stopped()) return;
  const uint8_t bit = static_cast<flag_box*>(flag)->bit;
  z80.af.b.l = static_cast<uint8_t>(gtk_toggle_button_get_active(check) ? z80.af.b.l | bit : z80.af.b.l & ~bit);
  refresh_all();
}

void on_iff_toggled(GtkToggleButton* check, gpointer which) {
  if (refreshing || !machine_stopped()) return;
  (GPOINTER_TO_INT(which) ? z80.iff2 : z80.iff1) = gtk_toggle_button_get_active(check) ? 1 : 0;
  refresh_all();
}

void on_memory_edited(GtkCellRendererText* cell, gchar* path, gchar* text, gpointer) {
  if (!machine_stopped()) return;
  const int line = std::atoi(path);
  const int column = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(cell), "column"));
  const uint16_t start = static_cast<uint16_t>(memory_base + 16 * line);
  say("");
  // The characters column takes text typed over the row from its first byte.
  if (column == 16) {
    for (int i = 0; text[i] && i < 16; ++i)
      if (!debug_poke(static_cast<uint16_t>(start + i), static_cast<uint8_t>(text[i])))
        say(hex4(static_cast<uint16_t>(start + i)) + " is not RAM: it keeps its byte");
  } else {
    const uint16_t address = static_cast<uint16_t>(start + column);
    const ParsedAddress parsed = parse_address(text, nullptr);
    if (!parsed.ok || parsed.address > 0xFF)
      say("'" + std::string(text) + "' is not a byte (00 to FF)");
    else if (!debug_poke(address, static_cast<uint8_t>(parsed.address)))
      say(hex4(address) + " is not RAM: it keeps its byte");
  }
  update_display();  // a write to the screen shows at once
  refresh_all();
}

void show_memory_at(uint16_t address) {
  memory_base = static_cast<uint16_t>(address & 0xFFF0);
  refresh_all();
}

void on_goto(GtkWidget*, gpointer) {
  uint16_t address = 0;
  if (!typed_address(goto_entry, address)) return;
  say("");
  show_memory_at(address);
}

void on_follow(GtkWidget*, gpointer pair) { show_memory_at(*static_cast<uint16_t*>(pair)); }
void on_memory_page(GtkWidget*, gpointer step) { show_memory_at(static_cast<uint16_t>(memory_base + GPOINTER_TO_INT(step))); }

gboolean on_memory_scroll(GtkWidget*, GdkEventScroll* event, gpointer) {
  double dy = 0;
  if (event->direction == GDK_SCROLL_UP)
    dy = -1;
  else if (event->direction == GDK_SCROLL_DOWN)
    dy = 1;
  else if (event->direction == GDK_SCROLL_SMOOTH)
    gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(event), nullptr, &dy);
  if (dy != 0) show_memory_at(static_cast<uint16_t>(memory_base + (dy > 0 ? 0x30 : -0x30)));
  return TRUE;
}

void on_add_breakpoint(GtkWidget*, gpointer) {
  uint16_t address = 0;
  if (!typed_address(breakpoint_entry, address)) return;
  say("");
  add_breakpoint(address, static_cast<uint32_t>(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(skip_hits_spin))));
  refresh_all();
}

void on_add_watchpoint(GtkWidget*, gpointer) {
  const WatchSpace space = gtk_combo_box_get_active(GTK_COMBO_BOX(watch_space_combo)) == 1 ? WatchSpace::port : WatchSpace::memory;
  uint16_t first = 0, last = 0;
  if (!typed_address(watch_first_entry, first)) return;
  if (*gtk_entry_get_text(GTK_ENTRY(watch_last_entry)) == '\0')
    last = first;
  else if (!typed_address(watch_last_entry, last))
    return;
  const bool on_read = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(watch_read_check));
  const bool on_write = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(watch_write_check));
  if (!on_read && !on_write) return say("A watchpoint watches reads, writes or both: tick one.");
  if (space == WatchSpace::port && last > 0xFF) return say("Ports are 00 to FF: the machine decodes only the low byte.");
  if (!add_watchpoint(space, first, last, on_read, on_write)) return say("The range ends before it starts.");
  say("");
  refresh_all();
}

void on_remove_stop(GtkWidget*, gpointer) {
  GtkTreeModel* model = nullptr;
  GtkTreeIter row;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(stops_view)), &model, &row)) return;
  int id = 0;
  gboolean is_breakpoint = FALSE;
  gtk_tree_model_get(model, &row, STOP_ID, &id, STOP_IS_BREAKPOINT, &is_breakpoint, -1);
  if (is_breakpoint)
    remove_breakpoint(id);
  else
    remove_watchpoint(id);
  refresh_all();
}

void on_stop_enabled_toggled(GtkCellRendererToggle*, gchar* path, gpointer) {
  GtkTreeIter row;
  if (!gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(stop_rows), &row, path)) return;
  int id = 0;
  gboolean is_breakpoint = FALSE, enabled = FALSE;
  gtk_tree_model_get(GTK_TREE_MODEL(stop_rows), &row, STOP_ID, &id, STOP_IS_BREAKPOINT, &is_breakpoint, STOP_ENABLED,
                     &enabled, -1);
  if (is_breakpoint)
    set_breakpoint_enabled(id, !enabled);
  else
    set_watchpoint_enabled(id, !enabled);
  refresh_all();
}

// Label files add to the symbols already loaded: a program's own and its libraries'.
void on_load_symbols(GtkWidget*, gpointer) {
  pause_audio();
  GtkWidget* chooser = new_file_chooser("Load Symbols", GTK_FILE_CHOOSER_ACTION_OPEN, "_Load");
  gtk_window_set_transient_for(GTK_WINDOW(chooser), GTK_WINDOW(debugger_window));
  const std::string path = run_chooser(chooser);
  if (!path.empty()) {
    const SymbolLoadReport report = load_symbol_file(debug_symbols, path);
    if (!report.error.empty())
      say(report.error);
    else
      say(std::to_string(report.loaded) + " symbols from " + path +
          (report.skipped ? " (" + std::to_string(report.skipped) + " lines that are not symbols skipped)" : ""));
    refresh_all();
  }
  resume_audio();
}

// ---- Building ----

GtkWidget* new_label(const char* text, bool mono = false) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_yalign(GTK_LABEL(label), 0);
  if (mono) monospace(label);
  return label;
}

GtkWidget* add_button(GtkWidget* box, const char* label, const char* tip, GCallback handler, gpointer data = nullptr) {
  GtkWidget* button = gtk_button_new_with_label(label);
  if (tip) gtk_widget_set_tooltip_text(button, tip);
  g_signal_connect(button, "clicked", handler, data);
  gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
  return button;
}

void add_key(GtkWidget* button, GtkAccelGroup* keys, guint key, GdkModifierType modifiers) {
  gtk_widget_add_accelerator(button, "clicked", keys, key, modifiers, GTK_ACCEL_VISIBLE);
}

GtkWidget* build_buttons(GtkAccelGroup* keys) {
  constexpr auto none = static_cast<GdkModifierType>(0);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  run_button = add_button(box, "Run (F5)", "Goes on from here", G_CALLBACK(on_run));
  add_key(run_button, keys, GDK_KEY_F5, none);
  break_button = add_button(box, "Break (Shift+F5)", "Stops the machine (also Pause or Ctrl+Break)", G_CALLBACK(on_break));
  add_key(break_button, keys, GDK_KEY_F5, GDK_SHIFT_MASK);
  add_key(break_button, keys, GDK_KEY_Pause, none);
  add_key(break_button, keys, GDK_KEY_Break, GDK_CONTROL_MASK);
  step_buttons[0] = add_button(box, "Step Into (F11)", "Runs one instruction", G_CALLBACK(on_step), GINT_TO_POINTER(0));
  add_key(step_buttons[0], keys, GDK_KEY_F11, none);
  step_buttons[1] = add_button(box, "Step Over (F10)", "Runs a CALL, RST, DJNZ loop or repeating block instruction through",
                               G_CALLBACK(on_step), GINT_TO_POINTER(1));
  add_key(step_buttons[1], keys, GDK_KEY_F10, none);
  step_buttons[2] = add_button(box, "Step Out (Shift+F11)", "Runs until the routine returns to its caller",
                               G_CALLBACK(on_step), GINT_TO_POINTER(2));
  add_key(step_buttons[2], keys, GDK_KEY_F11, GDK_SHIFT_MASK);
  step_buttons[3] = add_button(box, "Next Frame", "Runs to the start of the next frame", G_CALLBACK(on_step), GINT_TO_POINTER(3));
  GtkWidget* symbols = gtk_button_new_with_label("Load Symbols…");
  gtk_widget_set_tooltip_text(symbols, "Label files of z80asm, z88dk (.map), sjasmplus (.sym) or NAME EQU $ADDR lines");
  g_signal_connect(symbols, "clicked", G_CALLBACK(on_load_symbols), nullptr);
  gtk_box_pack_end(GTK_BOX(box), symbols, FALSE, FALSE, 0);
  return box;
}

GtkTreeViewColumn* add_text_column(GtkWidget* view, const char* title, int model_column, int weight_column = -1) {
  GtkCellRenderer* cell = gtk_cell_renderer_text_new();
  GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes(title, cell, "text", model_column, nullptr);
  if (weight_column >= 0) gtk_tree_view_column_add_attribute(column, cell, "weight", weight_column);
  gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
  return column;
}

GtkWidget* scrolled(GtkWidget* child) {
  GtkWidget* window = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(window), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(window), child);
  return window;
}

GtkWidget* build_listing() {
  listing = gtk_list_store_new(LISTING_COLUMNS, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                               G_TYPE_STRING, G_TYPE_INT);
  GtkTreeIter row;
  for (int line = 0; line < LISTING_LINES; ++line) gtk_list_store_append(listing, &row);
  listing_view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(listing));
  g_object_unref(listing);
  gtk_widget_set_name(listing_view, "disassembly");
  monospace(listing_view);
  marker_column = add_text_column(listing_view, "", LISTING_MARK, LISTING_WEIGHT);
  add_text_column(listing_view, "Address", LISTING_ADDRESS, LISTING_WEIGHT);
  add_text_column(listing_view, "Label", LISTING_LABEL, LISTING_WEIGHT);
  add_text_column(listing_view, "Bytes", LISTING_BYTES, LISTING_WEIGHT);
  add_text_column(listing_view, "Instruction", LISTING_TEXT, LISTING_WEIGHT);
  gtk_widget_set_tooltip_text(listing_view,
                              "A click in the first column sets or clears a breakpoint; a double click runs to the line");
  g_signal_connect(listing_view, "button-press-event", G_CALLBACK(on_listing_press), nullptr);
  g_signal_connect(listing_view, "row-activated", G_CALLBACK(on_listing_activated), nullptr);
  return scrolled(listing_view);
}

GtkWidget* build_registers() {
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_column_spacing(GTK_GRID(grid), 4);
  gtk_grid_set_row_spacing(GTK_GRID(grid), 2);
  int index = 0;
  for (register_field& field : registers) {
    field.entry = gtk_entry_new();
    gtk_widget_set_name(field.entry, (std::string("register ") + field.name).c_str());
    gtk_entry_set_width_chars(GTK_ENTRY(field.entry), 5);
    monospace(field.entry);
    g_signal_connect(field.entry, "activate", G_CALLBACK(on_register_activate), &field);
    g_signal_connect(field.entry, "focus-out-event", G_CALLBACK(on_register_focus_out), &field);
    const int row = index / REGISTERS_PER_ROW, column = 2 * (index % REGISTERS_PER_ROW);
    GtkWidget* name = new_label(field.name);
    gtk_widget_set_valign(name, GTK_ALIGN_CENTER);
    gtk_grid_attach(GTK_GRID(grid), name, column, row, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), field.entry, column + 1, row, 1, 1);
    ++index;
  }
  const char* iff_names[2] = {"IFF1", "IFF2"};
  for (int which = 0; which < 2; ++which) {
    iff_checks[which] = gtk_check_button_new_with_label(iff_names[which]);
    g_signal_connect(iff_checks[which], "toggled", G_CALLBACK(on_iff_toggled), GINT_TO_POINTER(which));
  }
  GtkWidget* iff_box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  for (GtkWidget* check : iff_checks) gtk_box_pack_start(GTK_BOX(iff_box), check, FALSE, FALSE, 0);
  gtk_grid_attach(GTK_GRID(grid), iff_box, 6, 3, 2, 1);
  GtkWidget* flag_row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
  gtk_box_pack_start(GTK_BOX(flag_row), new_label("F"), FALSE, FALSE, 0);
  for (flag_box& flag : flags) {
    flag.check = gtk_check_button_new_with_label(flag.name);
    gtk_widget_set_name(flag.check, (std::string("flag ") + flag.name).c_str());
    g_signal_connect(flag.check, "toggled", G_CALLBACK(on_flag_toggled), &flag);
    gtk_box_pack_start(GTK_BOX(flag_row), flag.check, FALSE, FALSE, 0);
  }
  gtk_grid_attach(GTK_GRID(grid), flag_row, 0, 4, 8, 1);
  return grid;
}

GtkWidget* build_memory() {
  memory_rows = gtk_list_store_new(MEMORY_COLUMNS, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                   G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                   G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                   G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
  GtkTreeIter row;
  for (int line = 0; line < MEMORY_ROWS; ++line) gtk_list_store_append(memory_rows, &row);
  memory_view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(memory_rows));
  g_object_unref(memory_rows);
  gtk_widget_set_name(memory_view, "memory");
  monospace(memory_view);
  add_text_column(memory_view, "Address", MEMORY_ADDRESS);
  for (int column = 0; column <= 16; ++column) {
    GtkCellRenderer* cell = memory_cells[column] = gtk_cell_renderer_text_new();
    g_object_set_data(G_OBJECT(cell), "column", GINT_TO_POINTER(column));
    g_signal_connect(cell, "edited", G_CALLBACK(on_memory_edited), nullptr);
    const std::string title = column < 16 ? "+" + std::string(1, "0123456789ABCDEF"[column]) : "Characters";
    gtk_tree_view_append_column(GTK_TREE_VIEW(memory_view), gtk_tree_view_column_new_with_attributes(
                                                                title.c_str(), cell, "text", MEMORY_FIRST_BYTE + column, nullptr));
  }
  gtk_widget_add_events(memory_view, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
  g_signal_connect(memory_view, "scroll-event", G_CALLBACK(on_memory_scroll), nullptr);

  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_box_pack_start(GTK_BOX(bar), new_label("Go to"), FALSE, FALSE, 0);
  goto_entry = gtk_entry_new();
  gtk_widget_set_name(goto_entry, "memory address");
  gtk_widget_set_tooltip_text(goto_entry, "An address ($3000, 3000h, 0x3000) or a label (SCREEN+40)");
  g_signal_connect(goto_entry, "activate", G_CALLBACK(on_goto), nullptr);
  gtk_box_pack_start(GTK_BOX(bar), goto_entry, FALSE, FALSE, 0);
  add_button(bar, "Go", nullptr, G_CALLBACK(on_goto));
  add_button(bar, "▲", "256 bytes back", G_CALLBACK(on_memory_page), GINT_TO_POINTER(-0x100));
  add_button(bar, "▼", "256 bytes on", G_CALLBACK(on_memory_page), GINT_TO_POINTER(0x100));
  gtk_box_pack_start(GTK_BOX(bar), new_label("Follow"), FALSE, FALSE, 8);
  static const struct {
    const char* name;
    uint16_t* pair;
  } follow[] = {{"HL", &z80.hl.w}, {"IX", &z80.ix.w}, {"IY", &z80.iy.w}, {"SP", &z80.sp}, {"PC", &z80.pc}};
  for (const auto& target : follow) add_button(bar, target.name, nullptr, G_CALLBACK(on_follow), target.pair);

  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_box_pack_start(GTK_BOX(page), bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), memory_view, FALSE, FALSE, 0);
  return page;
}

GtkWidget* build_stops() {
  stop_rows = gtk_list_store_new(STOP_COLUMNS, G_TYPE_BOOLEAN, G_TYPE_INT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                 G_TYPE_BOOLEAN);
  stops_view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(stop_rows));
  g_object_unref(stop_rows);
  gtk_widget_set_name(stops_view, "stops");
  GtkCellRenderer* toggle = gtk_cell_renderer_toggle_new();
  g_signal_connect(toggle, "toggled", G_CALLBACK(on_stop_enabled_toggled), nullptr);
  gtk_tree_view_append_column(GTK_TREE_VIEW(stops_view),
                              gtk_tree_view_column_new_with_attributes("On", toggle, "active", STOP_ENABLED, nullptr));
  add_text_column(stops_view, "Id", STOP_ID);
  add_text_column(stops_view, "Kind", STOP_KIND);
  add_text_column(stops_view, "Where", STOP_WHERE);
  add_text_column(stops_view, "Hits", STOP_HITS);

  GtkWidget* breakpoint_bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_box_pack_start(GTK_BOX(breakpoint_bar), new_label("Breakpoint at"), FALSE, FALSE, 0);
  breakpoint_entry = gtk_entry_new();
  gtk_widget_set_name(breakpoint_entry, "breakpoint address");
  g_signal_connect(breakpoint_entry, "activate", G_CALLBACK(on_add_breakpoint), nullptr);
  gtk_box_pack_start(GTK_BOX(breakpoint_bar), breakpoint_entry, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(breakpoint_bar), new_label("stopping after"), FALSE, FALSE, 0);
  skip_hits_spin = gtk_spin_button_new_with_range(0, 1e9, 1);
  gtk_box_pack_start(GTK_BOX(breakpoint_bar), skip_hits_spin, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(breakpoint_bar), new_label("hits"), FALSE, FALSE, 0);
  add_button(breakpoint_bar, "Add", nullptr, G_CALLBACK(on_add_breakpoint));

  GtkWidget* watch_bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_box_pack_start(GTK_BOX(watch_bar), new_label("Watch"), FALSE, FALSE, 0);
  watch_space_combo = gtk_combo_box_text_new();
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(watch_space_combo), "Memory");
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(watch_space_combo), "Port");
  gtk_combo_box_set_active(GTK_COMBO_BOX(watch_space_combo), 0);
  gtk_box_pack_start(GTK_BOX(watch_bar), watch_space_combo, FALSE, FALSE, 0);
  watch_first_entry = gtk_entry_new();
  watch_last_entry = gtk_entry_new();
  gtk_widget_set_name(watch_first_entry, "watch first");
  gtk_widget_set_name(watch_last_entry, "watch last");
  gtk_widget_set_tooltip_text(watch_last_entry, "Empty for a single address or port");
  gtk_box_pack_start(GTK_BOX(watch_bar), watch_first_entry, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(watch_bar), new_label("to"), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(watch_bar), watch_last_entry, FALSE, FALSE, 0);
  watch_read_check = gtk_check_button_new_with_label("Read");
  watch_write_check = gtk_check_button_new_with_label("Write");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(watch_write_check), TRUE);
  gtk_box_pack_start(GTK_BOX(watch_bar), watch_read_check, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(watch_bar), watch_write_check, FALSE, FALSE, 0);
  gtk_widget_set_name(add_button(watch_bar, "Add", nullptr, G_CALLBACK(on_add_watchpoint)), "add watchpoint");

  GtkWidget* remove_bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  add_button(remove_bar, "Remove", "Removes the breakpoint or watchpoint selected above", G_CALLBACK(on_remove_stop));

  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_box_pack_start(GTK_BOX(page), scrolled(stops_view), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(page), remove_bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), breakpoint_bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), watch_bar, FALSE, FALSE, 0);
  return page;
}

GtkWidget* build_history() {
  history_rows = gtk_list_store_new(HISTORY_COLUMNS, G_TYPE_UINT, G_TYPE_UINT, G_TYPE_STRING, G_TYPE_STRING);
  history_view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(history_rows));
  g_object_unref(history_rows);
  gtk_widget_set_name(history_view, "history");
  monospace(history_view);
  add_text_column(history_view, "Frame", HISTORY_FRAME);
  add_text_column(history_view, "T-state", HISTORY_T_STATE);
  add_text_column(history_view, "Address", HISTORY_ADDRESS);
  add_text_column(history_view, "Instruction", HISTORY_TEXT);
  history_label = new_label("");
  history_shown = true;  // so that the first refresh while running says why the list is empty
  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_box_pack_start(GTK_BOX(page), history_label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), scrolled(history_view), TRUE, TRUE, 0);
  return page;
}

void on_destroy(GtkWidget*, gpointer) {
  if (refresh_timer) g_source_remove(refresh_timer);
  refresh_timer = 0;
  set_history_recording(false);
  debugger_window = nullptr;
  message_label = nullptr;
  listing_filled = false;
  if (machine_stopped()) show_status_notice("Still stopped: Operation → Debugger… (F8) lets it go on");
}

void build_window() {
  debugger_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(debugger_window), "Vantorel Debugger");
  gtk_window_set_default_size(GTK_WINDOW(debugger_window), 1000, 760);
  g_signal_connect(debugger_window, "destroy", G_CALLBACK(on_destroy), nullptr);
  GtkAccelGroup* keys = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(debugger_window), keys);
  g_object_unref(keys);

  GtkWidget* side = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_box_pack_start(GTK_BOX(side), build_registers(), FALSE, FALSE, 0);
  raster_label = new_label("");
  stack_label = new_label("", true);
  ports_label = new_label("", true);
  ay_label = new_label("", true);
  GtkWidget* readouts = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_box_pack_start(GTK_BOX(readouts), stack_label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(readouts), ports_label, FALSE, FALSE, 0);
  for (GtkWidget* widget : {raster_label, readouts, ay_label}) gtk_box_pack_start(GTK_BOX(side), widget, FALSE, FALSE, 0);

  GtkWidget* upper = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_box_pack_start(GTK_BOX(upper), build_listing(), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(upper), side, FALSE, FALSE, 0);

  GtkWidget* pages = gtk_notebook_new();
  gtk_notebook_append_page(GTK_NOTEBOOK(pages), build_memory(), gtk_label_new("Memory"));
  gtk_notebook_append_page(GTK_NOTEBOOK(pages), build_stops(), gtk_label_new("Breakpoints and Watchpoints"));
  gtk_notebook_append_page(GTK_NOTEBOOK(pages), build_history(), gtk_label_new("History"));

  GtkWidget* split = gtk_paned_new(GTK_ORIENTATION_VERTICAL);
  gtk_paned_pack1(GTK_PANED(split), upper, TRUE, FALSE);
  gtk_paned_pack2(GTK_PANED(split), pages, TRUE, FALSE);

  // The state and the messages wrap rather than widen the window: a watchpoint's stop is long.
  state_label = new_label("");
  gtk_widget_set_name(state_label, "state");
  message_label = new_label("");
  gtk_widget_set_name(message_label, "message");
  GtkWidget* all = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(all), 6);
  gtk_box_pack_start(GTK_BOX(all), build_buttons(keys), FALSE, FALSE, 0);
  for (GtkWidget* label : {state_label, message_label}) {
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_box_pack_start(GTK_BOX(all), label, FALSE, FALSE, 0);
  }
  gtk_box_pack_start(GTK_BOX(all), split, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(debugger_window), all);
}

// ---- Operation menu ----

void on_debugger_item(GtkWidget*, gpointer) { show_debugger_window(); }

void on_unwritten_read_toggled(GtkWidget* item, gpointer) {
  unwritten_read_break = gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item));
  set_unwritten_read_check(unwritten_read_break);
  if (unwritten_read_break) show_status_notice("Reads of unwritten RAM stop the machine from the next Hard Reset");
}

void on_power_on_ram(GtkWidget*, gpointer choice) {
  power_on_ram_random = GPOINTER_TO_INT(choice) == 1;
  set_choice_sensitivity(power_on_ramx, power_on_ram_random ? 1 : 0);
  show_status_notice(std::string("RAM is ") + (power_on_ram_random ? "random" : "zero") + " at the next Hard Reset");
}

}  // namespace

void show_debugger_window() {
  if (debugger_window) {
    gtk_window_present(GTK_WINDOW(debugger_window));
    return;
  }
  build_window();
  gtk_widget_show_all(debugger_window);
  set_history_recording(true);
  refresh_all();
  refresh_timer = g_timeout_add(RUNNING_REFRESH_MS, on_refresh_tick, nullptr);
}

void close_debugger_window() {
  if (debugger_window) gtk_widget_destroy(debugger_window);
}

void follow_machine_stops() {
  const bool stopped = machine_stopped();
  if (stopped != sound_held) {
    sound_held = stopped;
    // Leaving a stop, the device starts afresh, as after Pause: dialogs opened meanwhile may have
    // left the FIFO as they found it. Unlimited speed keeps it silent.
    pause_audio();
    if (!stopped && !speed) resume_audio();
  }
  if (stop_count() == seen_stop_count) return;
  seen_stop_count = stop_count();
  if (debugger_window)
    refresh_all();
  else if (stopped)
    show_status_notice("Stopped: " + stop_text(last_stop()) + " (Operation → Debugger…, F8)");
}

void add_debugger_menu_items(GtkWidget* menu, GtkAccelGroup* accelerators) {
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
  GtkWidget* item = gtk_menu_item_new_with_mnemonic("_Debugger…");
  g_signal_connect(item, "activate", G_CALLBACK(on_debugger_item), nullptr);
  gtk_widget_add_accelerator(item, "activate", accelerators, GDK_KEY_F8, static_cast<GdkModifierType>(0), GTK_ACCEL_VISIBLE);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);

  GtkWidget* unwritten_read_item = gtk_check_menu_item_new_with_mnemonic("_Break on Reading Unwritten RAM");
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(unwritten_read_item), unwritten_read_check());
  gtk_widget_set_tooltip_text(unwritten_read_item,
                              "Stops the machine when a program reads RAM it never wrote since power-on, which holds "
                              "noise on a real machine; from the next Hard Reset");
  g_signal_connect(unwritten_read_item, "activate", G_CALLBACK(on_unwritten_read_toggled), nullptr);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), unwritten_read_item);

  GtkWidget* head = gtk_menu_item_new_with_mnemonic("Power-on _RAM");
  GtkWidget* choices = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(head), choices);
  gtk_widget_set_tooltip_text(head, "What RAM holds after a Hard Reset: zero, or noise as the chips of a real machine do");
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), head);
  for (int choice = 0; choice < 2; ++choice) {
    power_on_ramx[choice] = gtk_menu_item_new_with_label(power_on_ram_names[choice]);
    gtk_menu_shell_append(GTK_MENU_SHELL(choices), power_on_ramx[choice]);
    g_signal_connect(power_on_ramx[choice], "activate", G_CALLBACK(on_power_on_ram), GINT_TO_POINTER(choice));
  }
  set_choice_sensitivity(power_on_ramx, power_on_ram_random ? 1 : 0);
}
