// The stack probe that ARM64 Windows code calls before a frame over 4 KiB
// (x15: the frame size in 16-byte units): touches each page from the top
// down, so that the guard page grows the stack in order. Changes only x16,
// x17 and the flags.
    .text
    .p2align 2
    .globl __chkstk
__chkstk:
    lsl x16, x15, #4
    mov x17, sp
1:
    sub x17, x17, #4096
    subs x16, x16, #4096
    ldr xzr, [x17]
    b.gt 1b
    ret
