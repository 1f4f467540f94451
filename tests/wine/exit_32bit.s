# The smallest 32-bit Linux program: it ends at once with exit code 0 through the
# i386 system call gate. A kernel that runs no 32-bit code refuses to start it,
# which is how the i686 build's Wine tests know to skip (if_32bit_runs.sh).
        .globl _start
        .text
_start:
        movl    $1, %eax        # exit
        xorl    %ebx, %ebx      # with 0
        int     $0x80
