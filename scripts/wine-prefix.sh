# The Wine set-up that scripts/demo and scripts/e2e share; they source this file.
#
#   wine_prefix PREFIX   export WINEPREFIX=PREFIX and, on its first use, make the prefix
#                        with the settings below; returns 1 with a message when Wine fails
#   wine_mode            print how wine32's i386 programs run on this machine: "native
#                        32-bit" or "i386 through qemu N.N.N"; returns 1 when they don't
#   wine_mode_line       the line every Wine figure is printed under: "wine: MODE (VERSION)"
#
# Wine stays quiet and never offers to install Mono or Gecko. A prefix is always 32-bit:
# with wine64 installed, a new one would otherwise be 64-bit, with other registry views.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32

wine_mode() {
    local out
    # Started through qemu's user-mode emulator, QEMU_VERSION=1 makes the emulator print
    # its own version instead of running the program: the one the kernel really starts.
    out=$(QEMU_VERSION=1 timeout -k 5 120 /usr/lib/wine/wine --version 2>&1) || return 1
    if [[ $out =~ qemu-i386\ version\ ([0-9][0-9.]*[0-9]) ]]; then
        echo "i386 through qemu ${BASH_REMATCH[1]}"
    elif [[ $out == wine-* ]]; then
        echo "native 32-bit"
    else
        return 1
    fi
}

wine_mode_line() {
    echo "wine: $(wine_mode || echo "does not start") ($(wine --version 2>/dev/null))"
}

wine_prefix() {
    export WINEPREFIX=$1
    # A prefix made with older settings is set again.
    local ready=$WINEPREFIX/.sfx-ready-4 link
    [[ -f $ready ]] && return 0
    echo "preparing the Wine prefix $WINEPREFIX (once)..."
    mkdir -p "$WINEPREFIX"
    if [[ ! -f $WINEPREFIX/system.reg ]] && ! timeout -k 10 240 wineboot -i >/dev/null 2>&1; then
        echo "wineboot failed"
        return 1
    fi
    # A crashing program ends at once with a non-zero code instead of waiting in the
    # debugger's dialog. Unmanaged windows: without a window manager on the display,
    # Wine otherwise waits 2 s for one whenever a visible window is destroyed.
    if ! timeout -k 5 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
             /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
       ! timeout -k 5 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
             /t REG_SZ /d N /f >/dev/null 2>&1; then
        echo "cannot set up the Wine prefix's registry"
        return 1
    fi
    timeout 60 wineserver -w
    # The user's folders (Desktop, Documents, ...) are links to $HOME: real folders
    # inside the prefix keep whatever a program creates there out of $HOME.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
        if [[ -L $link ]]; then rm "$link" && mkdir "$link"; fi
    done
    touch "$ready"
}
