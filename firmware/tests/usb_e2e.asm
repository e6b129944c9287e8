; End-to-end program for the USB storage, installed as the Micro Expander's "aqubasic.rom":
; checks the controller is there, mounts the stick, lists it, writes a 300-byte file and reads
; it back with a checksum, erases a file, and finally opens GAMEROM, which our run-loader turns
; into the cartridge GAME.ROM and starts. Every step leaves one line on the screen; before the
; launch the screen is saved at SHADOW, where the game cartridge finds it and puts it back.

        include "../cartridge.inc"
        include "ch376.inc"

SCREEN:         equ 0x3000
SCREEN_CELLS:   equ 1000
SHADOW:         equ 0x4000      ; expansion RAM, kept across the restart into the game
LINE_START:     equ 0x4400      ; first cell of the current screen line
POSITION:       equ 0x4402      ; next cell written
ENTRY:          equ 0x4410      ; one 32-byte directory entry
LIST_MAX:       equ 12          ; entries shown at most
WRITE_COUNT:    equ 300
PATTERN_START:  equ 7           ; byte i of the file is 7 + 3*i (mod 256)
PATTERN_STEP:   equ 3

        org CART_8K_BASE
        cartridge_header

entry:
        ld hl,SCREEN+1                  ; cell 0 is the border's character: leave it
        ld de,SCREEN+2
        ld bc,SCREEN_CELLS-2
        ld (hl),' '
        ldir
        ld hl,SCREEN+40
        ld (LINE_START),hl
        ld (POSITION),hl

; ---- presence: the inverse of the test byte comes back
        ld a,CHECK_EXIST
        out (CH376_COMMAND),a
        ld a,0x55
        out (CH376_DATA),a
        in a,(CH376_DATA)
        cp 0xAA
        ld hl,text_exist_ok
        jr z,exist_done
        ld hl,text_exist_bad
exist_done:
        call print_line

; ---- mode 6 and mount
        usb_mode_and_mount
        call get_status
        cp USB_INT_SUCCESS
        ld hl,text_mount_ok
        jr z,mount_done
        ld hl,text_mount_bad
mount_done:
        call print_line

; ---- listing of the root: one 8.3 name per line
        ld hl,name_all
        call set_name
        ld a,FILE_OPEN
        out (CH376_COMMAND),a
        ld c,LIST_MAX
list_loop:
        call get_status
        cp USB_INT_DISK_READ
        jr nz,list_done
        ld a,RD_USB_DATA0
        out (CH376_COMMAND),a
        in a,(CH376_DATA)               ; 32
        ld b,a
        ld hl,ENTRY
list_byte:
        in a,(CH376_DATA)
        ld (hl),a
        inc hl
        djnz list_byte
        ld hl,ENTRY
        ld b,11
list_char:
        ld a,(hl)
        call print_char
        inc hl
        djnz list_char
        call new_line
        dec c
        jr z,list_done
        ld a,FILE_ENUM_GO
        out (CH376_COMMAND),a
        jr list_loop
list_done:

; ---- create NEW.DAT and write 300 bytes in the chunks the controller asks for
        ld hl,name_new
        call set_name
        ld a,FILE_CREATE
        out (CH376_COMMAND),a
        call get_status
        cp USB_INT_SUCCESS
        jr nz,write_bad
        ld a,BYTE_WRITE
        out (CH376_COMMAND),a
        ld a,WRITE_COUNT & 0xFF
        out (CH376_DATA),a
        ld a,WRITE_COUNT >> 8
        out (CH376_DATA),a
        ld e,PATTERN_START
write_loop:
        call get_status
        cp USB_INT_SUCCESS
        jr z,write_done
        cp USB_INT_DISK_WRITE
        jr nz,write_bad
        ld a,WR_REQ_DATA
        out (CH376_COMMAND),a
        in a,(CH376_DATA)
        or a
        jr z,write_bad
        ld b,a
write_byte:
        ld a,e
        out (CH376_DATA),a
        add a,PATTERN_STEP
        ld e,a
        djnz write_byte
        ld a,BYTE_WR_GO
        out (CH376_COMMAND),a
        jr write_loop
write_done:
        call close_file
        ld hl,text_write_ok
        jr write_shown
write_bad:
        ld hl,text_write_bad
write_shown:
        call print_line

; ---- read it back: every byte compared, a 16-bit sum shown
        ld hl,name_new
        call set_name
        ld a,FILE_OPEN
        out (CH376_COMMAND),a
        call get_status
        cp USB_INT_SUCCESS
        jp nz,read_bad
        ld a,BYTE_READ
        out (CH376_COMMAND),a
        ld a,WRITE_COUNT & 0xFF
        out (CH376_DATA),a
        ld a,WRITE_COUNT >> 8
        out (CH376_DATA),a
        ld hl,0                         ; sum
        ld ix,0                         ; bytes read
        ld d,0                          ; mismatches
        ld e,PATTERN_START
read_loop:
        call get_status
        cp USB_INT_SUCCESS
        jr z,read_done
        cp USB_INT_DISK_READ
        jr nz,read_bad
        ld a,RD_USB_DATA0
        out (CH376_COMMAND),a
        in a,(CH376_DATA)
        or a
        jr z,read_bad
        ld b,a
read_byte:
        in a,(CH376_DATA)
        cp e
        jr z,read_same
        inc d
read_same:
        ld c,a
        ld a,l
        add a,c
        ld l,a
        jr nc,read_no_carry
        inc h
read_no_carry:
        inc ix
        ld a,e
        add a,PATTERN_STEP
        ld e,a
        djnz read_byte
        ld a,BYTE_RD_GO
        out (CH376_COMMAND),a
        jr read_loop
read_done:
        ld a,d
        or a
        jr nz,read_bad
        push ix
        pop bc
        ld a,b
        cp WRITE_COUNT >> 8
        jr nz,read_bad
        ld a,c
        cp WRITE_COUNT & 0xFF
        jr nz,read_bad
        push hl
        call close_file
        ld hl,text_read_ok
        call print_text
        pop hl
        ld a,h
        call print_hex
        ld a,l
        call print_hex
        call new_line
        jr read_shown
read_bad:
        ld hl,text_read_bad
        call print_line
read_shown:

; ---- erase OLD.DAT
        ld hl,name_old
        call set_name
        ld a,FILE_ERASE
        out (CH376_COMMAND),a
        call get_status
        cp USB_INT_SUCCESS
        ld hl,text_erase_ok
        jr z,erase_done
        ld hl,text_erase_bad
erase_done:
        call print_line

; ---- start the game cartridge by a name without its dot
        ld hl,text_launch
        call print_line
        ld hl,SCREEN
        ld de,SHADOW
        ld bc,SCREEN_CELLS
        ldir
        ld hl,name_game
        call set_name
        ld a,FILE_OPEN
        out (CH376_COMMAND),a           ; a cartridge restarts the machine from here
        ld hl,text_launch_bad
        call print_line
stay:
        jr stay

; ---------------------------------------------------------------- helpers

get_status:
        ld a,GET_STATUS
        out (CH376_COMMAND),a
        in a,(CH376_DATA)
        ret

close_file:
        ld a,FILE_CLOSE
        out (CH376_COMMAND),a
        xor a
        out (CH376_DATA),a
        ret

; HL: NUL-terminated name, sent with its NUL.
set_name:
        ld a,SET_FILE_NAME
        out (CH376_COMMAND),a
set_name_loop:
        ld a,(hl)
        out (CH376_DATA),a
        inc hl
        or a
        jr nz,set_name_loop
        ret

print_char:
        push hl
        ld hl,(POSITION)
        ld (hl),a
        inc hl
        ld (POSITION),hl
        pop hl
        ret

; HL: NUL-terminated text at the current position.
print_text:
        ld a,(hl)
        or a
        ret z
        call print_char
        inc hl
        jr print_text

print_line:
        call print_text
new_line:
        push hl
        push de
        ld hl,(LINE_START)
        ld de,40
        add hl,de
        ld (LINE_START),hl
        ld (POSITION),hl
        pop de
        pop hl
        ret

print_hex:
        push af
        rrca
        rrca
        rrca
        rrca
        call print_digit
        pop af
print_digit:
        and 0x0F
        add a,'0'
        cp '9'+1
        jr c,print_digit_out
        add a,'A'-'0'-10
print_digit_out:
        jp print_char

name_all:       db "/*",0
name_new:       db "/NEW.DAT",0
name_old:       db "/OLD.DAT",0
name_game:      db "/GAMEROM",0
text_exist_ok:  db "EXIST OK",0
text_exist_bad: db "EXIST FAIL",0
text_mount_ok:  db "MOUNT OK",0
text_mount_bad: db "MOUNT FAIL",0
text_write_ok:  db "WRITE OK",0
text_write_bad: db "WRITE FAIL",0
text_read_ok:   db "READ OK ",0
text_read_bad:  db "READ FAIL",0
text_erase_ok:  db "ERASE OK",0
text_erase_bad: db "ERASE FAIL",0
text_launch:    db "LAUNCH GAMEROM",0
text_launch_bad: db "LAUNCH FAIL",0

        ds CART_8K_BASE+0x2000-$, 0xFF
