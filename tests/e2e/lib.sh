# tests/e2e/lib.sh: helpers for the end-to-end scenarios of the real stub under Wine.
#
# scripts/e2e sources this file, then every case file tests/e2e/cases/*.sh, inside one
# Xvfb display and one Wine prefix (wineserver kept running). A case file runs its
# scenarios by calling `scenario`:
#
#   two_files() {                                  # a scenario body (any shell function)
#       put_file in/a.txt "alpha"; put_file in/sub/b.txt "beta"
#       sfx_make app.exe --caption "Demo" -C in . || return
#       sfx_run app.exe <<'EOF'                    # stub + robot + exit check
#   wait "Demo" 20 with 301
#   expect-list 301 "a.txt" "sub/b.txt"
#   answer IDCANCEL
#   EOF
#       expect_no_file out/a.txt
#   }
#   scenario two-files two_files                  # scenario NAME FUNCTION [ARGS...]
#
# Each scenario runs in a subshell, in its own fresh folder $CASE (build/e2e/NAME, kept
# after the run for inspection), and prints "PASS NAME" or "FAIL NAME: reasons" followed
# by the robot transcript, each with the scenario's wall time. A scenario fails when any
# check below fails; it goes on after a failed check unless the body returns. Names:
# [A-Za-z0-9._-].
#
# Variables (read-only):
#   CASE, CASE_WIN     the scenario's folder, as a Linux and as a Windows path
#   E2E_ROOT           the repository; E2E_STUB, E2E_MKSFX, E2E_ROBOT, E2E_WIN32 (the
#                      win32 build tree, for e2e-only helper programs: $E2E_WIN32/NAME.exe)
#   HEADER_OFFSET      where the configuration header begins: the stub's length
#   SFX_PID, SFX_CODE  the stub started last (the `timeout` wrapper's pid) / its exit code
#   TRANSCRIPT         $CASE/robot.txt, every robot run of the scenario appended
#
# Building:
#   sfx_make OUT [MKSFX ARGS...]      mksfx --stub $E2E_STUB -o $CASE/OUT ARGS (inputs
#                                     relative to $CASE); returns 1 (and fails) on error
#   put_file PATH [TEXT]              write TEXT (default: PATH) to $CASE/PATH, dirs made
#   patch_bytes FILE OFFSET "HEX.."   overwrite bytes at OFFSET, e.g. "44 49 58"
#   append_bytes FILE "HEX.."         append bytes
#   cut_file FILE SIZE                truncate FILE to SIZE bytes
#   winpath PATH                      print the Windows path of a Linux path (Z:\...)
#
# Running (a stub runs in the background with its current directory at $SFX_CWD,
# default $CASE; robot scripts use the command language of tests/e2e/robot.cpp):
#   sfx_start EXE [ARGS...]           start `wine EXE ARGS` (EXE relative to $CASE)
#   robot [SECS] <<'EOF' ... EOF      run the robot with a script; fails on its failures
#   sfx_wait [SECS]                   wait for the stub's end (default 30 s), expect exit
#                                     code 0; a stub still running is killed and fails
#   sfx_run EXE [ARGS...] <<'EOF'     sfx_start, robot, sfx_wait in one
#   wine_run [SECS] PROGRAM [ARGS...] run any Windows program to its end (bounded), cwd
#                                     $CASE; its exit code is returned, output on stdout
#
# Checks (each one records a failure and returns 1 when it does not hold):
#   fail "REASON"                     record a failure
#   expect_file PATH [TEXT]           the file exists (and holds exactly TEXT)
#   expect_same PATH ORIGINAL         PATH has the same bytes as ORIGINAL
#   expect_no_file PATH               nothing at PATH (file or folder)
#   expect_dir PATH                   a folder at PATH
#   expect_transcript "TEXT"          some transcript line contains TEXT
#   expect_no_transcript "TEXT"       no transcript line contains TEXT
#   expect_mtime PATH "YYYY-MM-DD HH:MM:SS"  last-write time (local time of the run)
#
# The run: TZ=UTC for every program; E2E_ONLY=REGEX runs only the matching scenarios;
# `scripts/e2e tests/e2e/cases/x.sh` only that case file; while developing use your own
# E2E_PREFIX, E2E_OUT, E2E_WIN32, E2E_HOST (see scripts/e2e).
#
# The robot's transcript lines: window "CAPTION" | msgbox "CAPTION" text="..."
# icon=error|information|question|warning|no buttons=OK,Cancel | closed "CAPTION" |
# FAIL line N: ... | robot: N failures.

HEADER_OFFSET=$(stat -c %s "$E2E_STUB")

# ---- bookkeeping (the runner calls these) ----

E2E_PASSED=0
E2E_FAILED=0

fail() {
    printf '%s\n' "$*" >>"$CASE/.failures"
    return 1
}

# Every process a scenario starts is recorded, so the runner can end leftovers by pid.
_e2e_track() { echo "$1" >>"$E2E_OUT/.pids"; }

_e2e_kill() {  # pid: the timeout wrapper; TERM it (it passes TERM on), then KILL both
    local pid=$1 child
    kill -0 "$pid" 2>/dev/null || return 0
    child=$(pgrep -P "$pid" 2>/dev/null)
    kill -TERM "$pid" 2>/dev/null
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    kill -KILL "$pid" $child 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

scenario() {  # NAME FUNCTION [ARGS...]
    local name=$1
    shift
    if [[ -n ${E2E_ONLY:-} && ! $name =~ $E2E_ONLY ]]; then return 0; fi
    local dir="$E2E_OUT/$name" began=$EPOCHREALTIME took
    rm -rf "$dir"
    mkdir -p "$dir"
    (
        CASE=$dir
        CASE_WIN=$(winpath "$dir")
        TRANSCRIPT="$CASE/robot.txt"
        SFX_PID=
        SFX_CODE=
        SFX_CWD=$CASE
        : >"$TRANSCRIPT"
        cd "$CASE" || exit 1
        "$@"
        if [[ -n $SFX_PID ]] && kill -0 "$SFX_PID" 2>/dev/null; then
            fail "the stub was still running at the end of the scenario"
            _e2e_kill "$SFX_PID"
        fi
        exit 0
    ) </dev/null
    took=$(awk -v a="$began" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f s", b - a }')
    if [[ -s $dir/.failures ]]; then
        E2E_FAILED=$((E2E_FAILED + 1))
        echo "FAIL $name ($took): $(paste -sd ';' "$dir/.failures" | sed 's/;/; /g')"
        if [[ -s $dir/robot.txt ]]; then sed 's/^/    | /' "$dir/robot.txt"; fi
    else
        E2E_PASSED=$((E2E_PASSED + 1))
        echo "PASS $name ($took)"
    fi
}

# ---- files ----

winpath() {  # Wine maps drive Z: to the Linux root
    local p=$1
    [[ $p == /* ]] || p="$PWD/$p"
    p=${p//\/.\//\/}
    printf 'Z:%s\n' "${p//\//\\}"
}

put_file() {  # PATH [TEXT]
    mkdir -p "$(dirname "$CASE/$1")"
    printf '%s' "${2-$1}" >"$CASE/$1"
}

_hex_bytes() { local h; for h in $1; do printf "\\x$h"; done; }

patch_bytes() {  # FILE OFFSET "HEX HEX ..."
    _hex_bytes "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

append_bytes() {  # FILE "HEX HEX ..."
    _hex_bytes "$2" >>"$1"
}

cut_file() {  # FILE SIZE
    truncate -s "$2" "$1"
}

sfx_make() {  # OUT [MKSFX ARGS...]
    local out=$1
    shift
    local err
    if ! err=$("$E2E_MKSFX" --stub "$E2E_STUB" -o "$CASE/$out" "$@" 2>&1); then
        fail "mksfx $out failed: $err"
        return 1
    fi
}

# ---- processes ----

sfx_start() {  # EXE [ARGS...]
    local exe=$1
    shift
    [[ $exe == /* ]] || exe="$CASE/$exe"
    (cd "$SFX_CWD" && exec timeout -k 5 "${E2E_STUB_LIMIT:-90}" wine "$exe" "$@") \
        >>"$CASE/stub.out" 2>&1 &
    SFX_PID=$!
    SFX_CODE=
    _e2e_track "$SFX_PID"
}

robot() {  # [SECS]; the script on stdin
    local secs=${1:-60} code
    cat >"$CASE/robot.script"
    echo "--- robot run" >>"$TRANSCRIPT"
    timeout -k 5 "$secs" wine "$E2E_ROBOT" <"$CASE/robot.script" 2>>"$CASE/robot.err" \
        | tr -d '\r' >>"$TRANSCRIPT"
    code=${PIPESTATUS[0]}
    if [[ $code -eq 124 || $code -eq 137 ]]; then
        fail "the robot did not finish within $secs s"
    elif [[ $code -ne 0 ]]; then
        fail "robot: $(grep -c '^FAIL' "$TRANSCRIPT") failed check(s), exit $code"
    fi
    return 0
}

sfx_wait() {  # [SECS]
    local secs=${1:-30} i
    [[ -n $SFX_PID ]] || { fail "sfx_wait without a started stub"; return 1; }
    for ((i = 0; i < secs * 10; i++)); do
        kill -0 "$SFX_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$SFX_PID" 2>/dev/null; then
        fail "the stub did not end within $secs s"
        echo "--- windows on screen while the stub was still running" >>"$TRANSCRIPT"
        echo windows | timeout -k 5 30 wine "$E2E_ROBOT" 2>/dev/null | tr -d '\r' >>"$TRANSCRIPT"
        _e2e_kill "$SFX_PID"
        SFX_PID=
        return 1
    fi
    wait "$SFX_PID"
    SFX_CODE=$?
    SFX_PID=
    if [[ $SFX_CODE -ne 0 ]]; then
        fail "the stub's exit code is $SFX_CODE, expected 0 $(grep -m1 '^wine:' "$CASE/stub.out")"
        return 1
    fi
}

sfx_run() {  # EXE [ARGS...]; the robot script on stdin
    sfx_start "$@"
    robot
    sfx_wait
}

wine_run() {  # [SECS] PROGRAM [ARGS...]
    local secs=30
    if [[ $1 =~ ^[0-9]+$ ]]; then secs=$1; shift; fi
    timeout -k 5 "$secs" wine "$@" 2>>"$CASE/wine_run.err"
}

# ---- checks ----

expect_file() {  # PATH [TEXT]
    if [[ ! -f $CASE/$1 ]]; then fail "missing file $1"; return 1; fi
    if [[ $# -ge 2 ]] && [[ "$(cat "$CASE/$1"; echo x)" != "$2x" ]]; then
        fail "file $1 holds \"$(head -c 80 "$CASE/$1")\", expected \"$2\""
        return 1
    fi
}

expect_same() {  # PATH ORIGINAL
    if [[ ! -f $CASE/$1 ]]; then fail "missing file $1"; return 1; fi
    local orig=$2
    [[ $orig == /* ]] || orig="$CASE/$orig"
    cmp -s "$CASE/$1" "$orig" || { fail "file $1 differs from $2"; return 1; }
}

expect_no_file() {  # PATH
    if [[ -e $CASE/$1 || -L $CASE/$1 ]]; then fail "unexpected $1"; return 1; fi
}

expect_dir() {  # PATH
    [[ -d $CASE/$1 ]] || { fail "missing folder $1"; return 1; }
}

expect_transcript() {  # TEXT
    grep -qF -- "$1" "$TRANSCRIPT" || { fail "transcript lacks: $1"; return 1; }
}

expect_no_transcript() {  # TEXT
    if grep -qF -- "$1" "$TRANSCRIPT"; then fail "transcript has: $1"; return 1; fi
}

expect_mtime() {  # PATH "YYYY-MM-DD HH:MM:SS"
    local got
    got=$(date -r "$CASE/$1" '+%Y-%m-%d %H:%M:%S' 2>/dev/null) || { fail "missing file $1"; return 1; }
    [[ $got == "$2" ]] || { fail "$1 last written $got, expected $2"; return 1; }
}
