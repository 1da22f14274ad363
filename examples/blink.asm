; Blinks an LED on RB0 about twice a second and counts the blinks on PORTD.
; A PIC16F877A at 4 MHz, downloaded below the resident bootloader at 1F00.
        list    p=16f877a
        errorlevel -302
        #include <p16f877a.inc>
        __config _XT_OSC & _WDT_OFF & _PWRTE_ON & _LVP_OFF & _BODEN_ON

counter_inner   equ     0x20
counter_outer   equ     0x21
blinks          equ     0x22

        org     0x0000
        clrf    PCLATH
        goto    start

        org     0x0004
        retfie

start:
        banksel TRISB
        clrf    TRISB           ; PORTB all outputs
        clrf    TRISD           ; PORTD all outputs
        banksel PORTB
        clrf    PORTB
        clrf    blinks
        call    read_start_count
        movwf   blinks
loop:
        movlw   0x01
        xorwf   PORTB, f        ; toggle the LED
        incf    blinks, f
        movf    blinks, w
        movwf   PORTD
        call    delay_250ms
        goto    loop

; About 250 ms at 1 us per instruction cycle.
delay_250ms:
        movlw   d'250'
        movwf   counter_outer
outer:
        movlw   d'249'
        movwf   counter_inner
inner:
        nop
        decfsz  counter_inner, f
        goto    inner
        decfsz  counter_outer, f
        goto    outer
        return

; The first blink count, kept in data EEPROM at address 0.
read_start_count:
        banksel EEADR
        clrf    EEADR
        banksel EECON1
        bcf     EECON1, EEPGD
        bsf     EECON1, RD
        banksel EEDATA
        movf    EEDATA, w
        banksel PORTB
        return

        org     0x2100
        de      0x05, "ZELTRA", 0x00

        end
