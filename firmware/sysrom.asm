; Vantorel free system ROM (8K at 0x0000).
;
; Brings the machine up when the user has no ROM images of their own: title screen, colour
; bars and a beep, the list of missing ROM files the emulator leaves at 0x3F00, start of a
; cartridge carrying our header or the machine's own, otherwise a small line editor whose
; commands CLOAD and CSAVE read a binary from tape and write it back, and LPRINT and COPY send a
; line or the screen to the printer.
;
; The machine has no interrupts: everything is paced by polling the vertical-sync flag.
; From the first instruction on, this ROM keeps its stack and its variables in the bytes
; of screen and colour RAM that the video never shows (0x33E8-0x33FF and 0x37E8-0x37FF),
; so that all of RAM from 0x3800 up belongs to the program being loaded.
;
; The build defines POWER_ON_SCREEN: 0 for the built-in ROM, 1 for a test ROM that, like the
; machine's own, waits on its title for RETURN and then sets up for a while before it takes keys.

        include "cartridge.inc"
        include "caq.inc"

; ---------------------------------------------------------------- hardware

SCREEN:         equ 0x3000      ; 40 x 25 character codes; 0x3000 is also the border character
COLOURS:        equ 0x3400      ; colour bytes, foreground in the high nibble; 0x3400 the border's
COLUMNS:        equ 40
ROWS:           equ 25
CELLS:          equ COLUMNS*ROWS

PORT_SPEAKER:   equ 0xFC        ; bit 0 drives the speaker (inverted); reads give cassette bytes
PORT_VSYNC:     equ 0xFD        ; reads 1 while the raster is in the 200 active lines
PORT_AY_DATA:   equ 0xF6
PORT_AY_SELECT: equ 0xF7
PORT_KEYBOARD:  equ 0xFF        ; column select on the high address byte, 0 bit = key down
PORT_CART_KEY:  equ 0xFF        ; writes: the key the cartridge port's data lines are XORed with
PORT_PRINTER:   equ 0xFE        ; bit 0 out: the printer's serial line (idle 1); in: 1 = ready
AY_PORT_A:      equ 14          ; the hand controller

MESSAGE_MAGIC:  equ 0x3F00      ; 'M','!' then a NUL-terminated text left by the emulator
MESSAGE_TEXT:   equ 0x3F02
MESSAGE_END:    equ 0x4000      ; never read past the 16K boundary, whatever the text holds

; ---------------------------------------------------------------- our RAM

STACK_TOP:      equ 0x3400      ; 24 hidden bytes 0x33E8-0x33FF, growing down
VARS:           equ 0x37E8      ; 24 hidden bytes of colour RAM
cur_row:        equ VARS+0      ; text cursor
cur_col:        equ VARS+1
line_len:       equ VARS+2      ; characters typed on the current line
kb_previous:    equ VARS+3      ; key seen by the last scan
kb_held:        equ VARS+4      ; key already delivered, until it is let go
kb_shift:       equ VARS+5      ; SHIFT seen by the last scan
tape_loaded:    equ VARS+6      ; the block below came whole from tape: CSAVE may write it
tape_name:      equ VARS+7      ; 6 bytes
tape_load:      equ VARS+13     ; header of the binary block
tape_length:    equ VARS+15
tape_exec:      equ VARS+17
beep_left:      equ VARS+19     ; speaker edges still to make
beep_timer:     equ VARS+21     ; raster polls until the next edge
VARS_SIZE:      equ 22

; ---------------------------------------------------------------- screen layout

TEXT_COLOUR:    equ 0x74        ; white on blue
BORDER_CHAR:    equ 0x20
BORDER_COLOUR:  equ 0x66        ; cyan all round
TITLE_COLOUR:   equ 0x34        ; yellow on blue
NOTE_COLOUR:    equ 0x31        ; yellow on red, for the missing-ROM text
STATUS_COLOUR:  equ 0x07        ; black on white
FIRST_TEXT_ROW: equ 9
LAST_TEXT_ROW:  equ 22
STATUS_ROW:     equ 24
LEFT_COLUMN:    equ 1           ; columns 1..38 carry text
RIGHT_COLUMN:   equ 38
PROMPT_LENGTH:  equ 2
LINE_MAX:       equ RIGHT_COLUMN-LEFT_COLUMN-PROMPT_LENGTH   ; the cursor keeps the last column

CURSOR_CHAR:    equ 0x7F        ; solid block in our character ROM
BOX_H:          equ 0x0C        ; heavy box-drawing pieces of our character ROM
BOX_V:          equ 0x0D
BOX_TL:         equ 0x0E
BOX_TR:         equ 0x0F
BOX_BL:         equ 0x10
BOX_BR:         equ 0x11

KEY_NONE:       equ 0xFF
CH_BACKSPACE:   equ 0x08
CH_NEWLINE:     equ 0x0A
CH_RETURN:      equ 0x0D

; ---------------------------------------------------------------- reset

        org 0
reset:
        di
        ld sp,STACK_TOP
        jp cold_start

; ---------------------------------------------------------------- start-up

cold_start:
        ld a,0xFF
        out (PORT_PRINTER),a            ; the serial line idles high
        call clear_variables
        call clear_screen
        call draw_title
        call draw_colour_bars
        ld a,FIRST_TEXT_ROW
        ld (cur_row),a
        ld a,LEFT_COLUMN
        ld (cur_col),a
        call show_missing_roms
        call start_beep
        call start_cartridge            ; returns only when no cartridge is there
        if POWER_ON_SCREEN
        call power_on_screen
        endif
        ld hl,text_hint
        call print_string
        jp editor

clear_variables:
        ld hl,VARS
        ld b,VARS_SIZE
cv_loop:
        ld (hl),0
        inc hl
        djnz cv_loop
        ld a,KEY_NONE
        ld (kb_previous),a
        ld (kb_held),a
        ret

; Spaces in the text colour over all 1000 cells, then the border's own character and colour
; (the border repeats the glyph of cell 0 all round the picture).
clear_screen:
        ld hl,SCREEN
        ld de,SCREEN+1
        ld bc,CELLS-1
        ld (hl),' '
        ldir
        ld hl,COLOURS
        ld de,COLOURS+1
        ld bc,CELLS-1
        ld (hl),TEXT_COLOUR
        ldir
        ld a,BORDER_CHAR
        ld (SCREEN),a
        ld a,BORDER_COLOUR
        ld (COLOURS),a
        ret

draw_title:
        ld hl,SCREEN+1*COLUMNS+10
        ld de,title_top
        ld c,TITLE_COLOUR
        call put_string_at
        ld hl,SCREEN+2*COLUMNS+10
        ld de,title_name
        call put_string_at
        ld hl,SCREEN+3*COLUMNS+10
        ld de,title_sub
        call put_string_at
        ld hl,SCREEN+4*COLUMNS+10
        ld de,title_bottom
        jp put_string_at

; Sixteen two-cell bars, one per palette entry, drawn as spaces whose background is the colour,
; in a checkered frame so that the bar of the text background colour shows too.
BARS_ROW:       equ 6
BARS_COLUMN:    equ 4
BARS_FRAME:     equ 0x70            ; white on black
SHADE_CHAR:     equ 0xD1            ; checkerboard in our character ROM

draw_colour_bars:
        ld hl,SCREEN+(BARS_ROW-1)*COLUMNS+BARS_COLUMN-1
        call dcb_frame_line
        ld hl,SCREEN+(BARS_ROW+1)*COLUMNS+BARS_COLUMN-1
        call dcb_frame_line
        ld hl,SCREEN+BARS_ROW*COLUMNS+BARS_COLUMN-1
        call dcb_frame_cell
        ld hl,SCREEN+BARS_ROW*COLUMNS+BARS_COLUMN+32
        call dcb_frame_cell
        ld hl,COLOURS+BARS_ROW*COLUMNS+BARS_COLUMN
        ld b,16
        xor a
dcb_loop:
        ld (hl),a
        inc hl
        ld (hl),a
        inc hl
        add a,0x11
        djnz dcb_loop
        ret

dcb_frame_line:
        ld b,34
dcb_frame_next:
        call dcb_frame_cell
        inc hl
        djnz dcb_frame_next
        ret

; The frame's pattern at screen address HL (kept).
dcb_frame_cell:
        ld (hl),SHADE_CHAR
        push hl
        ld de,COLOURS-SCREEN
        add hl,de
        ld (hl),BARS_FRAME
        pop hl
        ret

; The start-up beep sounds while the editor already runs, so that keys typed from the first
; frames on (the emulator's autoload and paste do that) are not lost behind it. The waits
; for the raster call beep_tick on every poll: a poll loop takes about 133 T-states, so a
; level change every BEEP_POLLS polls gives about 1 kHz. A cartridge is started once the
; beep is over.
BEEP_POLLS:     equ 13
BEEP_EDGES:     equ 400                 ; a fifth of a second

start_beep:
        ld hl,BEEP_EDGES
        ld (beep_left),hl
        ld a,1
        ld (beep_timer),a
        ret

beep_tick:
        ld hl,(beep_left)
        ld a,h
        or l
        ret z
        ld a,(beep_timer)
        dec a
        ld (beep_timer),a
        ret nz
        ld a,BEEP_POLLS
        ld (beep_timer),a
        dec hl
        ld (beep_left),hl
        ld a,l
        and 1
        xor 1                           ; the last edge leaves the speaker at its reset level
        out (PORT_SPEAKER),a
        ret

; The emulator falls back to this ROM when the user's ROM files are missing or the wrong
; size, and leaves their names at 0x3F02 for us to show. Lines are cut at the screen width.
show_missing_roms:
        ld hl,MESSAGE_MAGIC
        ld a,(hl)
        cp 'M'
        ret nz
        inc hl
        ld a,(hl)
        cp '!'
        ret nz
        xor a
        ld (MESSAGE_MAGIC),a            ; shown once: a soft reset must not show it again
        ld (MESSAGE_MAGIC+1),a
        ld hl,MESSAGE_TEXT
smr_line:
        ld b,RIGHT_COLUMN-LEFT_COLUMN+1
smr_char:
        ld a,h
        cp MESSAGE_END>>8
        jr z,smr_done
        ld a,(hl)
        inc hl
        or a
        jr z,smr_done
        cp CH_NEWLINE
        jr z,smr_newline
        dec b
        inc b
        jr z,smr_char                   ; past the width: drop the rest of the line
        dec b
        call printable
        push hl
        call put_note_char
        pop hl
        jr smr_char
smr_newline:
        call newline
        jr smr_line
smr_done:
        ld a,(cur_col)
        cp LEFT_COLUMN
        ret z
        jp newline

; Writes A at the cursor in the note colour and advances.
put_note_char:
        push af
        call cursor_address
        pop af
        ld (hl),a
        ld de,COLOURS-SCREEN
        add hl,de
        ld (hl),NOTE_COLOUR
        ld hl,cur_col
        inc (hl)
        ret

; Jumps into a cartridge that starts with our header (16K position first) or carries the
; machine's own signature. Until a key is written the cartridge port passes its data lines
; through unchanged, which both searches need.
start_cartridge:
        xor a
        out (PORT_CART_KEY),a
        ld hl,CART_16K_BASE
        call has_cartridge_header
        jr z,sc_ours
        ld hl,CART_8K_BASE
        call has_cartridge_header
        jr z,sc_ours
        call machine_cartridge_key
        ret c
        ld (CART_KEY_STORE),a
        call finish_beep
        ld a,(CART_KEY_STORE)
        out (PORT_CART_KEY),a
        ld sp,STACK_TOP
        jp CART_MACHINE_ENTRY
sc_ours:
        ld de,CART_HEADER_LENGTH
        add hl,de
        push hl
        call finish_beep
        pop hl
        ld sp,STACK_TOP
        jp (hl)

; The cartridge gets the machine after the beep.
finish_beep:
        call beep_tick
        ld hl,(beep_left)
        ld a,h
        or l
        jr nz,finish_beep
        ret

; The machine's own cartridges: each of the bytes at 0xE00F, 0xE00D ... 0xE005, rotated right
; by two and added to the low byte of its address, gives the next byte of the signature. The
; key is the sum of the twelve bytes 0xE003-0xE00E, each weighted by its count-down 12..1
; (78 in all), XORed with 0xE00F. Carry set when the signature is not there; otherwise A holds
; the key.
machine_cartridge_key:
        ld hl,CART_8K_BASE+0x0F
        ld de,machine_signature
        ld b,MACHINE_SIGNATURE_LENGTH
mck_signature:
        ld a,(hl)
        rrca
        rrca
        add a,l
        ex de,hl
        cp (hl)
        ex de,hl
        scf
        ret nz
        dec hl
        dec hl
        inc de
        djnz mck_signature
        ld hl,CART_8K_BASE+3
        ld b,12
        xor a
mck_sum:
        add a,(hl)
        add a,b
        inc hl
        djnz mck_sum
        xor (hl)                        ; HL = 0xE00F; XOR clears carry
        ret

machine_signature:
        db 0x2B, 0x37, 0x24, 0x24, 0x33, 0x2C
MACHINE_SIGNATURE_LENGTH: equ $-machine_signature
CART_KEY_STORE:         equ 0x3809      ; where the machine's ROM keeps the key
CART_MACHINE_ENTRY:     equ 0xE010

; Z set when the eight bytes at HL are the cartridge header.
has_cartridge_header:
        push hl
        ld de,cartridge_signature
        ld b,CART_HEADER_LENGTH
hch_loop:
        ld a,(de)
        cp (hl)
        jr nz,hch_done
        inc hl
        inc de
        djnz hch_loop
hch_done:
        pop hl
        ret

cartridge_signature:
        cartridge_header

        if POWER_ON_SCREEN
; ---------------------------------------------------------------- power-on screen

; The machine's own ROMs keep their title up until RETURN is pressed, and only then set BASIC
; up: they size the RAM byte by byte, which takes about a second with the 64K expansion, and
; read no keys meanwhile, so that whatever is typed then is lost.
power_on_screen:
        ld hl,text_press_return
        call print_string
        call td_wait
        call size_ram
        ld de,TAPE_LOWEST_LOAD
        or a
        sbc hl,de                       ; 0 for RAM up to 0xFFFF wraps to the right count
        call print_decimal
        ld hl,text_bytes_free
        jp print_string

; HL = the first address above user RAM that does not keep what is written to it (absent
; memory and cartridge ROM ignore writes), 0 when RAM reaches 0xFFFF. Every byte is left as it
; was.
size_ram:
        ld hl,TAPE_LOWEST_LOAD
sr_loop:
        ld a,(hl)
        cpl
        ld (hl),a
        cp (hl)
        ret nz
        cpl
        ld (hl),a
        inc hl
        ld a,h
        or l
        jr nz,sr_loop
        ret

text_bytes_free: db " BYTES FREE", CH_NEWLINE, 0
        endif

; ---------------------------------------------------------------- line editor

; Where a loaded program returns to. It may have written anywhere, our hidden bytes included,
; so the cursor is brought back into the text rows before anything is drawn at it.
warm_start:
        ld sp,STACK_TOP
        ld a,KEY_NONE
        ld (kb_previous),a
        ld (kb_held),a
        ld a,(cur_row)
        cp FIRST_TEXT_ROW
        jr c,ws_bottom
        cp LAST_TEXT_ROW+1
        jr c,ws_row_kept
ws_bottom:
        ld a,LAST_TEXT_ROW
        ld (cur_row),a
ws_row_kept:
        call newline
editor:
        call new_line_prompt
editor_loop:
        call wait_active_lines
        call keyboard_step
        call wait_bottom_border
        call show_controller
        call keyboard_step
        jr editor_loop

new_line_prompt:
        xor a
        ld (line_len),a
        ld hl,text_prompt
        call print_string
        jp cursor_on

; One scan of the keyboard and whatever the key asks for.
keyboard_step:
        call read_key
        or a
        ret z
        push af
        call cursor_off
        pop af
        call edit_key
        jp cursor_on

edit_key:
        cp CH_RETURN
        jr z,ek_return
        cp CH_BACKSPACE
        jr z,ek_backspace
        ld c,a
        ld a,(line_len)
        cp LINE_MAX
        ret nc
        inc a
        ld (line_len),a
        ld a,c
        jp putc
ek_return:
        call newline
        ld a,(line_len)
        or a
        jr z,ek_prompt
        ld de,text_cload
        ld c,COMMAND_LENGTH
        call line_is
        jr z,ek_load
        ld de,text_csave
        ld c,COMMAND_LENGTH
        call line_is
        jr z,ek_save
        ld de,text_copy
        ld c,COPY_LENGTH
        call line_is
        jr z,ek_copy
        ld de,text_lprint
        ld c,LPRINT_LENGTH
        call line_begins
        jr z,ek_lprint
        ld hl,text_unknown
        call print_string
ek_prompt:
        jp new_line_prompt
ek_load:
        call cassette_load
        jp new_line_prompt
ek_save:
        call cassette_save
        jp new_line_prompt
ek_copy:
        call printer_copy
        jp new_line_prompt
ek_lprint:
        call printer_lprint
        jp new_line_prompt
ek_backspace:
        ld a,(line_len)
        or a
        ret z
        dec a
        ld (line_len),a
        ld hl,cur_col
        dec (hl)
        call cursor_address
        ld (hl),' '
        ret

; Z set when the line just ended (the cursor is on the next row now) is exactly the C
; characters at DE. The screen row is the line buffer.
line_is:
        ld a,(line_len)
        cp c
        ret nz
; Z set when the line just ended starts with the C characters at DE; HL then points past them
; on the screen.
line_begins:
        ld a,(line_len)
        cp c
        ret c                           ; shorter: NZ from the compare
        push de
        ld hl,cur_row
        dec (hl)
        call cursor_address             ; the row above, at the left margin
        ld a,(cur_row)
        inc a
        ld (cur_row),a
        ld de,PROMPT_LENGTH
        add hl,de
        pop de
        ld b,c
lic_loop:
        ld a,(de)
        cp (hl)
        ret nz
        inc hl
        inc de
        djnz lic_loop
        ret

cursor_on:
        call cursor_address
        ld (hl),CURSOR_CHAR
        ret

cursor_off:
        call cursor_address
        ld (hl),' '
        ret

; The status line: the hand-controller byte, active low, as the AY's port A reads it.
show_controller:
        ld hl,SCREEN+STATUS_ROW*COLUMNS+1
        ld de,text_status
        ld c,STATUS_COLOUR
        call put_string_at
        ld a,AY_PORT_A
        out (PORT_AY_SELECT),a
        in a,(PORT_AY_DATA)
        ld hl,SCREEN+STATUS_ROW*COLUMNS+1+text_status_end-text_status
        ld c,STATUS_COLOUR
        jp put_hex_at

; ---------------------------------------------------------------- frame pacing

; Waits for the vertical-sync flag to become 1 (the raster enters the active lines), then for
; it to become 0. Both waits give up after about two seconds of polling, so that a machine
; whose flag never moves still runs the editor.
wait_active_lines:
        ld de,0
wal_loop:
        call beep_tick
        in a,(PORT_VSYNC)
        rrca
        ret c
        dec de
        ld a,d
        or e
        jr nz,wal_loop
        ret

wait_bottom_border:
        ld de,0
wbb_loop:
        call beep_tick
        in a,(PORT_VSYNC)
        rrca
        ret nc
        dec de
        ld a,d
        or e
        jr nz,wbb_loop
        ret

; ---------------------------------------------------------------- keyboard

; Returns in A the character of a newly pressed key, or 0. The editor scans twice a frame;
; a key counts once it reads the same on two scans in a row, and then only once until it is
; let go, so contact bounce and a held key give one character.
read_key:
        call scan_matrix
        ld hl,kb_previous
        cp (hl)
        ld (hl),a
        jr nz,rk_nothing
        ld hl,kb_held
        cp (hl)
        jr z,rk_nothing
        ld (hl),a
        cp KEY_NONE
        jr z,rk_nothing
        ld e,a
        ld d,0
        ld hl,keys_plain
        ld a,(kb_shift)
        or a
        jr z,rk_lookup
        ld hl,keys_shifted
rk_lookup:
        add hl,de
        ld a,(hl)
        ret
rk_nothing:
        xor a
        ret

; Reads the eight columns (the column is selected by a 0 bit in B, the high address byte of
; IN A,(C)) and returns in A the first key down as column*8+row, or KEY_NONE. SHIFT and CTRL
; are modifiers, not keys; SHIFT is left in kb_shift.
scan_matrix:
        xor a
        ld (kb_shift),a
        ld e,KEY_NONE
        ld d,0                          ; key number of row 0 of this column
        ld b,0xFE
sm_column:
        ld c,PORT_KEYBOARD
        in a,(c)
        cpl
        and 0x3F
        ld h,a
        ld a,d
        cp 7*8
        jr nz,sm_pick
        ld a,h
        and 0x10
        ld (kb_shift),a
        ld a,h
        and 0x0F
        ld h,a
sm_pick:
        ld a,e
        cp KEY_NONE
        jr nz,sm_next
        ld a,h
        or a
        jr z,sm_next
        ld l,d
sm_row:
        rrca
        jr c,sm_found
        inc l
        jr sm_row
sm_found:
        ld e,l
sm_next:
        rlc b
        ld a,d
        add a,8
        ld d,a
        cp 8*8
        jr nz,sm_column
        ld a,e
        ret

; What each key types, by column*8+row, without and with SHIFT. Letters show in capitals
; either way. 0 = types nothing.
keys_plain:
        db '=', CH_BACKSPACE, ':', CH_RETURN, ';', '.', 0, 0
        db '-', '/', '0', 'P', 'L', ',', 0, 0
        db '9', 'O', 'K', 'M', 'N', 'J', 0, 0
        db '8', 'I', '7', 'U', 'H', 'B', 0, 0
        db '6', 'Y', 'G', 'V', 'C', 'F', 0, 0
        db '5', 'T', '4', 'R', 'D', 'X', 0, 0
        db '3', 'E', 'S', 'Z', ' ', 'A', 0, 0
        db '2', 'W', '1', 'Q', 0, 0, 0, 0
keys_shifted:
        db '+', 0x5C, '*', CH_RETURN, '@', '>', 0, 0
        db '_', '^', '?', 'P', 'L', '<', 0, 0
        db ')', 'O', 'K', 'M', 'N', 'J', 0, 0
        db '(', 'I', 0x27, 'U', 'H', 'B', 0, 0
        db '&', 'Y', 'G', 'V', 'C', 'F', 0, 0
        db '%', 'T', '$', 'R', 'D', 'X', 0, 0
        db '#', 'E', 'S', 'Z', ' ', 'A', 0, 0
        db 0x22, 'W', '!', 'Q', 0, 0, 0, 0

; ---------------------------------------------------------------- text output

; HL = address of the cursor cell.
cursor_address:
        ld a,(cur_row)
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl                       ; row*8
        ld e,l
        ld d,h
        add hl,hl
        add hl,hl                       ; row*32
        add hl,de                       ; row*40
        ld a,(cur_col)
        ld e,a
        ld d,SCREEN>>8
        add hl,de
        ret

; Prints A at the cursor (0x0A starts a new line), wrapping at the right margin.
putc:
        cp CH_NEWLINE
        jr z,newline
        push af
        call cursor_address
        pop af
        ld (hl),a
        ld hl,cur_col
        inc (hl)
        ld a,(hl)
        cp RIGHT_COLUMN+1
        ret c
newline:
        ld a,LEFT_COLUMN
        ld (cur_col),a
        ld a,(cur_row)
        cp LAST_TEXT_ROW
        jr nc,scroll_text
        inc a
        ld (cur_row),a
        ret

; Moves the text rows up by one, characters and colours, and clears the last row.
scroll_text:
        ld hl,SCREEN+(FIRST_TEXT_ROW+1)*COLUMNS
        ld de,SCREEN+FIRST_TEXT_ROW*COLUMNS
        ld bc,(LAST_TEXT_ROW-FIRST_TEXT_ROW)*COLUMNS
        ldir
        ld hl,COLOURS+(FIRST_TEXT_ROW+1)*COLUMNS
        ld de,COLOURS+FIRST_TEXT_ROW*COLUMNS
        ld bc,(LAST_TEXT_ROW-FIRST_TEXT_ROW)*COLUMNS
        ldir
        ld hl,SCREEN+LAST_TEXT_ROW*COLUMNS
        ld de,COLOURS+LAST_TEXT_ROW*COLUMNS
        ld b,COLUMNS
st_clear:
        ld (hl),' '
        ld a,TEXT_COLOUR
        ld (de),a
        inc hl
        inc de
        djnz st_clear
        ret

; Prints the NUL-terminated text at HL.
print_string:
        ld a,(hl)
        or a
        ret z
        push hl
        call putc
        pop hl
        inc hl
        jr print_string

; Copies the NUL-terminated text at DE to the screen at HL in colour C (no cursor involved).
put_string_at:
        ld a,(de)
        or a
        ret z
        ld (hl),a
        push hl
        push de
        ld de,COLOURS-SCREEN
        add hl,de
        ld (hl),c
        pop de
        pop hl
        inc hl
        inc de
        jr put_string_at

; Two hex digits of A at HL in colour C.
put_hex_at:
        push af
        rrca
        rrca
        rrca
        rrca
        call put_hex_digit_at
        pop af
put_hex_digit_at:
        and 0x0F
        add a,'0'
        cp '9'+1
        jr c,phd_store
        add a,'A'-'9'-1
phd_store:
        ld (hl),a
        push hl
        ld de,COLOURS-SCREEN
        add hl,de
        ld (hl),c
        pop hl
        inc hl
        ret

; Prints HL in decimal without leading zeros.
print_decimal:
        ld e,0                          ; set once a digit has been printed
        ld bc,-10000
        call pd_digit
        ld bc,-1000
        call pd_digit
        ld bc,-100
        call pd_digit
        ld bc,-10
        call pd_digit
        ld e,1
        ld bc,-1
pd_digit:
        ld a,'0'-1
pd_count:
        inc a
        add hl,bc
        jr c,pd_count
        sbc hl,bc                       ; carry is clear here: undo the last step
        cp '0'
        jr nz,pd_print
        bit 0,e
        ret z
pd_print:
        ld e,1
        push hl
        push de
        call putc
        pop de
        pop hl
        ret

; Maps the control codes and the cursor block of an untrusted byte to '?'.
printable:
        cp ' '
        jr c,pr_bad
        cp CURSOR_CHAR
        ret nz
pr_bad:
        ld a,'?'
        ret

; ---------------------------------------------------------------- texts

TITLE_WIDTH:    equ 18              ; inside the frame
title_top:      db BOX_TL
                ds TITLE_WIDTH, BOX_H
                db BOX_TR, 0
title_name:     db BOX_V
                db "     VANTOREL     ", BOX_V, 0
title_sub:      db BOX_V
                db " FREE SYSTEM ROM  ", BOX_V, 0
title_bottom:   db BOX_BL
                ds TITLE_WIDTH, BOX_H
                db BOX_BR, 0
text_hint:      db "TYPE CLOAD TO READ A TAPE", CH_NEWLINE, 0
text_prompt:    db "> ", 0
text_cload:     db "CLOAD"
text_cload_end:
COMMAND_LENGTH: equ text_cload_end-text_cload
text_csave:     db "CSAVE"          ; as long as CLOAD
text_copy:      db "COPY"
COPY_LENGTH:    equ $-text_copy
text_lprint:    db "LPRINT"
LPRINT_LENGTH:  equ $-text_lprint
text_unknown:   db "COMMANDS: CLOAD CSAVE LPRINT COPY", CH_NEWLINE, 0
text_status:    db "HAND CONTROLLER "
text_status_end: db 0
text_press_play: db "Press <PLAY>", CH_NEWLINE, 0
text_press_record: db "Press <RECORD>", CH_NEWLINE, 0
text_press_return: db "Press RETURN key to start", CH_NEWLINE, 0
text_no_tape:   db "NO CASSETTE", CH_NEWLINE, 0
text_loaded:    db "LOADED ", 0
text_saved:     db "SAVED ", 0
text_nothing:   db "NOTHING TO SAVE", CH_NEWLINE, 0
text_not_binary: db " NOT A BINARY", CH_NEWLINE, 0
text_no_ram:    db " NEEDS MORE RAM", CH_NEWLINE, 0

; ---------------------------------------------------------------- cassette

; A in, main registers kept: the tape routine works in the second register bank.
tape_read:
        exx
        call TAPE_BYTE_ROUTINE
        ret

; Reads leader bytes up to the sync byte. Carry set when none came within TAPE_SYNC_LIMIT
; bytes (no tape, or a stream that has run out and reads 0xFF for ever).
tape_find_sync:
        ld hl,TAPE_SYNC_LIMIT
        ld c,0                          ; 1 once a leader byte has been seen
tfs_loop:
        call tape_read
        cp TAPE_LEADER
        jr z,tfs_leader
        cp TAPE_SYNC
        jr nz,tfs_noise
        dec c
        ret z                           ; sync after leader (carry clear from the compare)
tfs_noise:
        ld c,0
        jr tfs_count
tfs_leader:
        ld c,1
tfs_count:
        dec hl
        ld a,h
        or l
        jr nz,tfs_loop
        scf
        ret

; B bytes from tape to HL.
tape_read_block:
        call tape_read
        ld (hl),a
        inc hl
        djnz tape_read_block
        ret

; Prints the six-byte name, untrusted bytes made printable.
print_tape_name:
        ld hl,tape_name
        ld b,TAPE_NAME_LENGTH
ptn_loop:
        ld a,(hl)
        call printable
        push hl
        push bc
        call putc
        pop bc
        pop hl
        inc hl
        djnz ptn_loop
        ret

; " <name> <length>" closing a load or a save report.
print_tape_result:
        call print_tape_name
        ld a,' '
        call putc
        ld hl,(tape_length)
        call print_decimal
        jp newline

; Checks the header: carry set when the block would start below user RAM or run past 0xFFFF.
tape_block_fits:
        ld hl,(tape_load)
        ld de,TAPE_LOWEST_LOAD
        or a
        sbc hl,de
        ret c
        ld de,(tape_length)
        ld a,d
        or e
        ret z                           ; empty block: nothing to store
        dec de
        ld hl,(tape_load)
        add hl,de                       ; last byte's address; carry if past 0xFFFF
        ret

; Carry set when the block's last byte is not writable memory: the RAM expansion ends below it
; (absent memory ignores writes) or a cartridge sits there on a machine without 64K. Present
; RAM runs without a gap from 0x3000 up, so the last byte speaks for the whole block.
tape_block_has_ram:
        ld de,(tape_length)
        ld a,d
        or e
        ret z
        dec de
        ld hl,(tape_load)
        add hl,de
        ld a,(hl)
        cpl
        ld (hl),a
        cp (hl)
        scf
        ret nz
        cpl
        ld (hl),a                       ; the probe leaves the byte as it was
        or a
        ret

; The machine's dialogue before tape moves: the text at HL ("Press <PLAY>" or "Press <RECORD>"),
; then "Press RETURN key to start", then a fresh press of RETURN. Other keys are ignored.
tape_dialogue:
        call print_string
        ld hl,text_press_return
        call print_string
td_wait:
        call wait_active_lines
        call read_key
        cp CH_RETURN
        ret z
        call wait_bottom_border
        call read_key
        cp CH_RETURN
        ret z
        jr td_wait

; CLOAD: the dialogue, then the name block. The rest of the load follows the name read below.
cassette_load:
        ld hl,text_press_play
        call tape_dialogue
        xor a
        ld (tape_loaded),a              ; the header variables are about to be overwritten
        call tape_find_sync
        jp c,clb_no_tape
        ld b,TAPE_NAME_LENGTH
        jp cassette_read_name

; CSAVE: the block the last CLOAD stored, written in the layout CLOAD reads, so that saving a
; loaded tape gives the same bytes again.
cassette_save:
        ld a,(tape_loaded)
        or a
        jr nz,cs_dialogue
        ld hl,text_nothing
        jp print_string
cs_dialogue:
        ld hl,text_press_record
        call tape_dialogue
        call tape_write_leader
        ld hl,tape_name
        ld b,TAPE_NAME_LENGTH
        call tape_write_block
        call tape_write_leader
        ld hl,tape_load
        ld b,TAPE_HEADER_LENGTH
        call tape_write_block
        ld hl,(tape_load)
        ld de,(tape_length)
cs_data:
        ld a,d
        or e
        jr z,cs_done
        ld a,(hl)
        call TAPE_WRITE_ROUTINE
        inc hl
        dec de
        jr cs_data
cs_done:
        ld hl,text_saved
        call print_string
        jp print_tape_result

; TAPE_LEADER_LENGTH leader bytes and the sync byte.
tape_write_leader:
        ld b,TAPE_LEADER_LENGTH
twl_loop:
        ld a,TAPE_LEADER
        call TAPE_WRITE_ROUTINE
        djnz twl_loop
        ld a,TAPE_SYNC
        jp TAPE_WRITE_ROUTINE

; B bytes from HL to tape.
tape_write_block:
        ld a,(hl)
        call TAPE_WRITE_ROUTINE
        inc hl
        djnz tape_write_block
        ret

; ---------------------------------------------------------------- printer

; LPRINT: the rest of the line (HL points at it on the screen) to the printer, without the
; blanks before it and, when it starts with a quote, up to the closing one; then CR LF.
printer_lprint:
        ld a,(line_len)
        sub LPRINT_LENGTH
        ld b,a
        ld c,0                          ; the closing quote, once one has opened
lp_blank:
        ld a,b
        or a
        jr z,printer_line_end
        ld a,(hl)
        cp ' '
        jr nz,lp_quote
        inc hl
        dec b
        jr lp_blank
lp_quote:
        cp '"'
        jr nz,lp_text
        ld c,a
        inc hl
        dec b
lp_text:
        ld a,b
        or a
        jr z,printer_line_end
        ld a,(hl)
        cp c
        jr z,printer_line_end
        call printer_byte
        inc hl
        dec b
        jr lp_text

; COPY, as the machine's own: CR LF, the 960 codes of rows 1 to 24 with no line ends (the
; printer wraps after 40 by itself), CR LF.
printer_copy:
        call printer_line_end
        ld hl,SCREEN+COLUMNS
        ld de,(ROWS-1)*COLUMNS
pc_loop:
        ld a,(hl)
        call printer_byte
        inc hl
        dec de
        ld a,d
        or e
        jr nz,pc_loop
printer_line_end:
        ld a,CH_RETURN
        call printer_byte
        ld a,CH_NEWLINE
        ; falls through

; Sends A to the printer, every register kept, as the machine's own byte routine does: it
; waits until the printer is ready, then sends a start bit (0), the eight data bits from the
; least significant, and a stop bit (1), each held for PRINTER_DELAY rounds of DEC H; JR NZ and
; the few instructions around them: 2,881 T-states, some 1,240 baud.
PRINTER_DELAY:  equ 0xB1
PRINTER_FRAME_BITS: equ 10
printer_byte:
        push af
        push bc
        push hl
        ld c,a
pb_ready:
        in a,(PORT_PRINTER)
        rrca
        jr nc,pb_ready
        ld b,PRINTER_FRAME_BITS
        xor a                           ; the start bit
pb_bit:
        out (PORT_PRINTER),a
        ld h,PRINTER_DELAY
pb_delay:
        dec h
        jr nz,pb_delay
        scf                             ; ones shifted in behind the data make the stop bit
        rr c
        ld a,0
        rla
        djnz pb_bit
        pop hl
        pop bc
        pop af
        ret

        ; The fixed addresses below are placed by padding; z80asm refuses a negative ds, so
        ; code that grows past one of them breaks the build instead of moving it.
        ds TAPE_BYTE_ROUTINE-$, 0xFF

; The one-byte tape read. The emulator writes these same six bytes here when it inserts a
; cassette; port 0xFC then hands over one whole byte of the image per read.
tape_byte:
        ld c,PORT_SPEAKER
        in a,(c)
        exx
        ret

        ds TAPE_WRITE_ROUTINE-$, 0xFF

; The one-byte tape write, A kept, main registers kept: a start bit (0), the eight data bits
; from the most significant, two stop bits (1), each one cycle of a square wave on the
; cassette output, which shares bit 0 of port 0xFC with the speaker. The emulator takes the
; byte when execution arrives here and returns at once, so a save costs no tape time.
tape_write_byte:
        push af
        exx
        ld c,PORT_SPEAKER
        ld e,a
        xor a
        call tape_write_bit
        ld b,8
twb_data:
        rlc e
        sbc a,a                         ; 0xFF for a 1 bit
        call tape_write_bit
        djnz twb_data
        ld a,0xFF
        call tape_write_bit
        ld a,0xFF
        call tape_write_bit
        exx
        pop af
        ret

; One bit, 0 or not 0 in A: a cycle of the lower tone for a 0, of the higher one for a 1.
TAPE_HALF_ZERO: equ 80                  ; DJNZ rounds per half cycle: about 1.7 kHz
TAPE_HALF_ONE:  equ 40                  ; about 3.4 kHz
tape_write_bit:
        push bc
        ld d,TAPE_HALF_ZERO
        or a
        jr z,twbit_cycle
        ld d,TAPE_HALF_ONE
twbit_cycle:
        ld a,1
        out (c),a
        ld b,d
twbit_high:
        djnz twbit_high
        xor a
        out (c),a
        ld b,d
twbit_low:
        djnz twbit_low
        pop bc
        ret

        ds TAPE_NAME_READ-$, 0xFF

; The name block's six bytes (B holds their count), then the second block. As in the
; machine's own ROMs, an LD HL,nn starts at 0x1C51 and the CALL follows at 0x1C54, so that
; 0x1C53, where the emulator's cassette hook watches for a CALL, holds an operand byte and
; the hook never fires with this ROM.
cassette_read_name:
        ld hl,tape_name
        call tape_read_block
        call tape_find_sync
        jr c,clb_no_tape
        ld hl,tape_load
        ld b,TAPE_HEADER_LENGTH
        call tape_read_block
        call tape_block_fits
        jr c,clb_not_binary
        call tape_block_has_ram
        jr c,clb_no_ram
        ; From here the loaded data may overwrite anything from 0x3800 up; the stack and the
        ; variables live below that.
        ld hl,(tape_load)
        ld de,(tape_length)
        ld a,d
        or e
        jr z,clb_stored
clb_store:
        exx                             ; the tape read, inline: this loop carries the bulk
        call TAPE_BYTE_ROUTINE
        ld (hl),a
        inc hl
        dec de
        ld a,d
        or e
        jr nz,clb_store
clb_stored:
        ld a,1
        ld (tape_loaded),a
        ld hl,text_loaded
        call print_string
        call print_tape_result
        ld hl,(tape_exec)
        ld a,h
        or l
        ret z
        ld sp,STACK_TOP                 ; the program may RET back to the editor
        ld de,warm_start
        push de
        jp (hl)
clb_not_binary:
        call print_tape_name
        ld hl,text_not_binary
        jp print_string
clb_no_ram:
        call print_tape_name
        ld hl,text_no_ram
        jp print_string
clb_no_tape:
        ld hl,text_no_tape
        jp print_string

        ds 0x2000-$, 0xFF
