# shellcheck shell=bash
# 32-bit x86 programs on this machine (sourced by setup.sh, wine-session.sh):
# natively where the kernel runs them, otherwise through qemu's user-mode
# emulator behind an i386 binfmt_misc entry.

# Whether the kernel runs 32-bit x86 code: a 93-byte program that exits 0.
# VARNOKE_I386_EMULATE=1 answers no, to try the emulated path anywhere (a
# registered binfmt entry comes before the kernel's own loader).
runs_i386() {
    [ "${VARNOKE_I386_EMULATE:-0}" = 1 ] && return 1
    local probe status=0
    probe=$(mktemp)
    # ELF header, one loadable segment, then: mov eax,1; xor ebx,ebx; int 0x80.
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null || status=1
    rm -f "$probe"
    return "$status"
}

# Under qemu's default CPU model, which advertises AVX2, the matcher's AVX2
# kernel gave wrong results and faulted at a gather; this model runs the
# SSE2 kernel, which qemu executes correctly.
export QEMU_CPU=${QEMU_CPU:-core2duo}

i386_binfmt=/proc/sys/fs/binfmt_misc
i386_entry=varnoke-i386
i386_mounted=

# Registers qemu-i386-static for i386 executables, as qemu's own set-up
# matches them; the F flag opens qemu now, whatever the mounts later.
register_i386_binfmt() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [ ! -e "$i386_binfmt/register" ]; then
        $sudo mount -t binfmt_misc binfmt_misc "$i386_binfmt"
        i386_mounted=1
    fi
    [ -e "$i386_binfmt/$i386_entry" ] && return 0
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":$i386_entry:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee "$i386_binfmt/register" >/dev/null
}

unregister_i386_binfmt() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [ -e "$i386_binfmt/$i386_entry" ]; then echo -1 | $sudo tee "$i386_binfmt/$i386_entry" >/dev/null || true; fi
    if [ -n "$i386_mounted" ]; then $sudo umount "$i386_binfmt" || true; fi
    return 0
}
