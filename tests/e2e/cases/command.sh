# Post-extraction command scenarios: the run check box and its caption, a program from
# the archive started in the destination, an INF file installed through the setup
# library, and the folder browser with its "New..." button.
#
# The program is tests/e2e/marker.c (build/win32/marker.exe): it writes its working
# directory and command line to marker-out.txt in its working directory, and to the file
# that MARKER_OUT names (the stub passes its environment on to what it starts).

# cm_start_marker CAPTION COMMAND [MKSFX ARGS...]: app.exe of in/a.txt and in/marker.exe,
# the payload of the marker scenarios, with that caption and command, started with
# MARKER_OUT set.
cm_start_marker() {
    put_file in/a.txt "alpha"
    cp "$E2E_WIN32/marker.exe" in/marker.exe || { fail "no $E2E_WIN32/marker.exe"; return 1; }
    sfx_make app.exe --caption "$1" --command "$2" "${@:3}" -C in a.txt marker.exe || return
    MARKER_OUT="$CASE_WIN\\marker-any.txt" sfx_start app.exe
}

# cm_await FILE [SECS]: wait until FILE (relative to $CASE) exists and is not empty.
cm_await() {
    local i
    for ((i = 0; i < ${2:-10} * 10; i++)); do
        [[ -s $CASE/$1 ]] && return 0
        sleep 0.1
    done
    fail "$1 did not appear within ${2:-10} s"
    return 1
}

# cm_record FILE KEY: the value of KEY= in a marker record (CR/LF line ends dropped).
cm_record() { sed -n "s/^$2=//p" "$CASE/$1" | tr -d '\r'; }

# A visible run check box: its caption, the program started after "Finished." with the
# destination (a folder with a space in its name) as working directory, named by its
# short path so that the command line holds no space.
run_marker() {
    cm_start_marker "Run" "><marker.exe" --show-run-checkbox || return
    robot <<R
wait "Run" 30 with 1007
expect-state 1007 visible checked
expect-text 1007 "After extraction, run : marker.exe "
settext 101 "$CASE_WIN\\out dir"
click IDOK
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    cm_await "out dir/marker-out.txt" || return
    expect_file "out dir/a.txt" "alpha"
    local cwd line program
    cwd=$(cm_record "out dir/marker-out.txt" cwd)
    [[ ${cwd%\\} == "$CASE_WIN\\out dir" ]] || fail "marker ran in \"$cwd\""
    line=$(cm_record "out dir/marker-out.txt" cmdline)
    program=${line#\"}
    program=${program%%\"*}
    [[ ${program,,} == *\\marker.exe ]] || fail "command line \"$line\" does not start marker.exe"
    [[ $program != *" "* ]] || fail "command line \"$line\" names the program by its long path"
}
scenario command-run-marker run_marker

# A command with a parameter part and no --show-run-checkbox: the check box is hidden
# but ticked, its caption shows the parameter's last path element, and the program gets
# the parameter part as its arguments.
hidden_with_parameters() {
    cm_start_marker "Hidden" "><marker.exe|/q hello" || return
    robot <<R
wait "Hidden" 30 with 1007
expect-state 1007 hidden checked
expect-text 1007 "After extraction, run : marker.exe q hello"
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    cm_await out/marker-out.txt || return
    local line
    line=$(cm_record out/marker-out.txt cmdline)
    [[ $line == *"/q hello" ]] || fail "command line \"$line\" lacks the parameters /q hello"
}
scenario command-hidden-parameters hidden_with_parameters

# Unticking the check box: the files are extracted, nothing is started.
unticked() {
    cm_start_marker "Untick" "><marker.exe" --show-run-checkbox || return
    robot <<R
wait "Untick" 30 with 1007
click 1007
sleep 0.3
expect-state 1007 unchecked
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    expect_file out/a.txt "alpha"
    expect_file out/marker.exe
    sleep 2  # a started marker writes its record within a second or two
    expect_no_file out/marker-out.txt
    expect_no_file marker-any.txt
}
scenario command-unticked unticked

# An INF file as the command: the caption says "install", and after extraction the INF is
# installed through rundll32 and setupapi; its DefaultInstall section writes a registry
# value that the test reads back. A rundll32.exe planted beside the self-extractor (the
# marker program under that name) must not run: the setup program comes from the system.
inf_install() {
    mkdir -p in
    cp "$E2E_WIN32/marker.exe" rundll32.exe || { fail "no $E2E_WIN32/marker.exe"; return 1; }
    cp "$E2E_ROOT/tests/e2e/data/setup.inf" in/setup.inf
    put_file in/readme.txt "readme"
    timeout 20 wine reg delete 'HKCU\Software\TarvexE2E' /f >/dev/null 2>&1
    sfx_make app.exe --caption "Inf" --command "><setup.inf" --show-run-checkbox \
        -C in setup.inf readme.txt || return
    MARKER_OUT="$CASE_WIN\\planted.txt" sfx_start app.exe
    robot <<R
wait "Inf" 30 with 1007
expect-state 1007 visible checked
expect-text 1007 "After extraction, install : setup.inf "
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    expect_file out/setup.inf
    local i value=
    for ((i = 0; i < 15; i++)); do
        value=$(timeout 10 wine reg query 'HKCU\Software\TarvexE2E' /v Installed 2>/dev/null | tr -d '\r')
        [[ $value == *setup.inf* ]] && break
        sleep 1
    done
    [[ $value == *REG_SZ*setup.inf* ]] || fail "the INF's registry value is missing: \"$value\""
    expect_no_file planted.txt
    timeout 20 wine reg delete 'HKCU\Software\TarvexE2E' /f >/dev/null 2>&1
}
scenario command-inf-install inf_install

# "..." opens the folder browser titled "Extract to : " with its "New..." button; "New..."
# leads to "Create subdirectory", whose OK creates the folder below the chosen one and
# makes it the destination. The robot cannot drive the browser's tree, so the chosen
# folder is the one the browser starts on: the Desktop, a real folder of the prefix (the
# runner unlinks it from $HOME).
browse_new() {
    put_file in/a.txt "alpha"
    sfx_make app.exe --caption "Browse" -C in a.txt || return
    local name="tarvex-e2e-new-$$"
    sfx_start app.exe
    robot <<R
wait "Browse" 30 with 775
click 775
wait "Extract to : " 30 with 1277
expect-title "Extract to : "
expect-text 1277 "New..."
expect-state 1277 visible
command 1277
wait "Create subdirectory" 30 with 3002
text 3001
settext 3002 "$name"
answer IDOK
wait "Browse" 30 with 101
text 101
answer IDCANCEL
R
    sfx_wait 30
    local base dest
    base=$(sed -n 's/^text 3001 "\(.*\)"$/\1/p' "$TRANSCRIPT")
    dest=$(sed -n 's/^text 101 "\(.*\)"$/\1/p' "$TRANSCRIPT")
    [[ $base == *\\ ]] || fail "the current directory \"$base\" lacks its trailing backslash"
    [[ $dest == "$base$name" ]] || fail "the destination is \"$dest\", expected \"$base$name\""
    # C:\... lies in the prefix's drive_c; any other place is not ours to look at.
    if [[ ${dest,,} == c:\\* ]]; then
        local made="$WINEPREFIX/drive_c/${dest:3}"
        made=${made//\\//}
        if [[ -d $made ]]; then rmdir "$made"; else fail "no folder $made"; fi
    else
        fail "the new folder \"$dest\" is not on drive C:"
    fi
}
scenario command-browse-new browse_new
