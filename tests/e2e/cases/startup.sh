# Start-up scenarios: the configuration header, the completeness check, the start-up
# message and the automatic start, as the user sees them under Wine. Every path ends
# with exit code 0 (sfx_wait checks it).

SIZE_MSG="Incorrect file size, please try to download this file again."

# Two stored 2,000-byte files, so that offsets inside the ZIP data are known: the
# second local header lies at archiveStart + 2035, its data from + 2070 to + 4070.
two_files_sfx() {  # OUT [MKSFX ARGS...]
    local out=$1
    shift
    put_file in/a.txt "$(head -c 2000 /dev/zero | tr '\0' a)"
    put_file in/b.txt "$(head -c 2000 /dev/zero | tr '\0' b)"
    sfx_make "$out" --store "$@" -C in a.txt b.txt
}

archive_start() {  # FILE: HEADER_OFFSET + headerSize
    local size
    size=$(od -An -tu2 -j $((HEADER_OFFSET + 6)) -N2 "$1" | tr -d ' ')
    echo $((HEADER_OFFSET + size))
}

# ---- files the completeness check (or the signature test) refuses ----

# Each damage leaves a file that must end with the size message and no main window.
damage() {  # KIND FILE
    local f=$2 start
    start=$(archive_start "$f")
    case $1 in
        signature) patch_bytes "$f" "$HEADER_OFFSET" "44 49 58" ;;      # "DIX"
        signature-nul) patch_bytes "$f" "$HEADER_OFFSET" "44 00 44" ;;
        signature-case) patch_bytes "$f" "$HEADER_OFFSET" "64 69 64" ;; # "did"
        stub-length)  # the stub part grew by 512 bytes, as after repacking it
            { head -c "$HEADER_OFFSET" "$f"; head -c 512 /dev/zero; tail -c +$((HEADER_OFFSET + 1)) "$f"; } >"$f.new"
            mv "$f.new" "$f" ;;
        cut-in-data) cut_file "$f" $((start + 3000)) ;;
        cut-in-header) cut_file "$f" $((HEADER_OFFSET + 5)) ;;
        byte-appended) append_bytes "$f" "00" ;;
        fake-certificate)  # 64 junk bytes appended, the PE security entry pointed at them
            local size pe
            size=$(stat -c %s "$f")
            pe=$(od -An -tu4 -j 60 -N4 "$f" | tr -d ' ')
            append_bytes "$f" "$(printf '4A %.0s' {1..64})"
            patch_bytes "$f" $((pe + 0x98)) "$(printf '%02x %02x %02x %02x' $((size & 255)) \
                $((size >> 8 & 255)) $((size >> 16 & 255)) $((size >> 24))) 40 00 00 00" ;;
        zip-22-bytes)  # an empty archive: the end record alone
            cut_file "$f" "$start"
            append_bytes "$f" "50 4B 05 06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00" ;;
    esac
}

refused() {  # KIND
    two_files_sfx app.exe --caption "Refused" || return
    damage "$1" "$CASE/app.exe"
    sfx_run app.exe <<EOF
msgbox "Error.." 30
expect-msgbox "$SIZE_MSG" error OK
answer IDOK
EOF
}

for kind in signature signature-nul signature-case stub-length cut-in-data cut-in-header \
            byte-appended zip-22-bytes fake-certificate; do
    scenario "refused-$kind" refused "$kind"
done

# ---- files that reach the main window ----

# A ZIP comment: the end record is found before it, and the comment length accounts
# for the rest of the file.
zip_comment() {  # LENGTH
    put_file in/a.txt "alpha"
    python3 - "$CASE/c.zip" "$1" <<'PY' || { fail "cannot write the zip"; return; }
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], "w")
z.comment = b"c" * int(sys.argv[2])
z.writestr("a.txt", "alpha")
z.close()
PY
    sfx_make app.exe --caption "Comment" c.zip || return
    [[ $(tail -c 1 "$CASE/app.exe") == c ]] || fail "mksfx dropped the comment"
    sfx_run app.exe <<'EOF'
wait "Comment" 30 with 301
expect-list 301 "a.txt"
answer IDCANCEL
EOF
    expect_no_file a.txt
}
scenario comment-1000 zip_comment 1000
scenario comment-65535 zip_comment 65535

# With the check switched off a truncated file opens; the listing ends silently at the
# cut, after the second local header.
no_check_truncated() {
    two_files_sfx app.exe --caption "Unchecked" --no-size-check --select-files || return
    cut_file "$CASE/app.exe" $(($(archive_start "$CASE/app.exe") + 3000))
    sfx_run app.exe <<'EOF'
wait "Unchecked" 30 with 301
expect-list 301 "a.txt" "b.txt"
expect-selected 301 2
answer IDCANCEL
EOF
}
scenario no-size-check-truncated no_check_truncated

# An empty archive without the check: the listing finds no entry and says so, then
# the main window opens with an empty list.
no_check_empty() {
    two_files_sfx app.exe --caption "Empty" --no-size-check --select-files || return
    damage zip-22-bytes "$CASE/app.exe"
    sfx_run app.exe <<'EOF'
msgbox "Error.." 30
expect-msgbox "Error reading archive." error OK
answer IDOK
wait "Empty" 30 with 301
expect-list 301
answer IDCANCEL
EOF
}
scenario no-size-check-empty-zip no_check_empty

# ---- the start-up message ----

# STYLE ANSWER: the box's icon and buttons follow the code byte; Cancel and No end the
# program before the main window (the stub then exits by itself, which it could not do
# with its main window open).
startup_message() {  # MKSFX-STYLE ICON BUTTONS ANSWER GOES-ON
    local style=$1 icon=$2 buttons=$3 answer=$4 goes_on=$5
    two_files_sfx app.exe --caption "Greeting" --message "Read me first." \
        --message-style "$style" || return
    if [[ $goes_on == yes ]]; then
        sfx_run app.exe <<EOF
msgbox "Greeting" 30
expect-msgbox "Read me first." $icon $buttons
answer $answer
wait "Greeting" 30 with 301
expect-list 301 "a.txt" "b.txt"
answer IDCANCEL
EOF
    else
        sfx_run app.exe <<EOF
msgbox "Greeting" 30
expect-msgbox "Read me first." $icon $buttons
answer $answer
EOF
    fi
    expect_no_file a.txt
}
#                                          style     icon        buttons   answer   main window
scenario message-1-ok         startup_message ok-cancel information OK,Cancel IDOK     yes
scenario message-1-cancel     startup_message ok-cancel information OK,Cancel IDCANCEL no
scenario message-2-yes        startup_message yes-no    question    Yes,No    IDYES    yes
scenario message-2-no         startup_message yes-no    question    Yes,No    IDNO     no
scenario message-5-ok         startup_message 5         no          OK        IDOK     yes
scenario message-5-cancel     startup_message 5         no          OK        IDCANCEL yes
scenario message-0-cancel     startup_message 0         no          OK        IDCANCEL yes

# A first byte of 7 or more is text: the whole message in a plain OK box.
message_printable() {
    two_files_sfx app.exe --caption "Plain" --message "!Hello, world." || return
    [[ $(od -An -tx1 -j $((HEADER_OFFSET + 9 + 5 + 2)) -N2 "$CASE/app.exe" | tr -d ' ') == "0e21" ]] ||
        fail "the message is not stored with its first byte '!'"
    sfx_run app.exe <<'EOF'
msgbox "Plain" 30
expect-msgbox "!Hello, world." no OK
answer IDOK
wait "Plain" 30 with 301
answer IDCANCEL
EOF
}
scenario message-printable message_printable

# No caption: the message box and the main window carry the program's name. A copy
# under another name, started with arguments, still finds itself.
empty_caption() {
    two_files_sfx app.exe --message "Hi." --message-style ok-cancel || return
    cp "$CASE/app.exe" "$CASE/renamed copy.exe"
    sfx_run "renamed copy.exe" /s extra "arg uments" <<'EOF'
msgbox "Tarvex Self-Extractor" 30
expect-msgbox "Hi." information OK,Cancel
answer IDOK
wait "Tarvex Self-Extractor" 30 with 301
expect-title "Tarvex Self-Extractor"
expect-list 301 "a.txt" "b.txt"
answer IDCANCEL
EOF
}
scenario empty-caption empty_caption

# ---- automatic start: the file name decides ----

# AUTO yes: the stub extracts into its current directory with no window to answer and
# no "Finished." box, and ends by itself. AUTO no: the main window waits for the user.
auto_start() {  # NAME AUTO [MKSFX ARGS...]
    local name=$1 auto=$2
    shift 2
    two_files_sfx "$name" --caption "Auto" "$@" || return
    mkdir -p "$CASE/out"
    SFX_CWD=$CASE/out
    if [[ $auto == yes ]]; then
        sfx_start "$name"
        sfx_wait 30
        expect_same out/a.txt in/a.txt
        expect_same out/b.txt in/b.txt
    else
        sfx_run "$name" <<'EOF'
wait "Auto" 30 with 301
expect-items-selected 301 "a.txt" "b.txt"
answer IDCANCEL
EOF
        expect_no_file out/a.txt
    fi
}
scenario auto-bang            auto_start "!pack.exe"      yes --auto-start
scenario auto-setup-upper     auto_start "SETUP.EXE"      yes --auto-start
scenario auto-setup-lower     auto_start "setup.exe"      yes --auto-start
scenario auto-setup-mixed     auto_start "Setup.exe"      yes --auto-start
scenario auto-setup-exe-exe   auto_start "Setup.exe.exe"  no  --auto-start
scenario auto-setup-exe1      auto_start "Setup.exe1.exe" no  --auto-start
scenario auto-plain-name      auto_start "pack.exe"       no  --auto-start
scenario auto-bang-bit-clear  auto_start "!pack.exe"      no

# ---- header layout ----

# A headerSize larger than the texts need: the bytes between the last text and the
# ZIP data are never read, the walk starts after them.
header_room() {
    two_files_sfx app.exe --caption "Room" --select-files || return
    local f=$CASE/app.exe start size
    printf 'PK\003\004 never read.' >"$CASE/room"  # looks like a record, but is skipped
    start=$(archive_start "$f")
    size=$((start - HEADER_OFFSET + $(stat -c %s "$CASE/room")))
    { head -c "$start" "$f"; cat "$CASE/room"; tail -c +$((start + 1)) "$f"; } >"$f.new"
    mv "$f.new" "$f"
    patch_bytes "$f" $((HEADER_OFFSET + 6)) "$(printf '%02x %02x' $((size & 255)) $((size >> 8)))"
    sfx_run app.exe <<'EOF2'
wait "Room" 30 with 301
expect-list 301 "a.txt" "b.txt"
answer IDCANCEL
EOF2
}
scenario header-room header_room

# ---- the default destination, resolved against Wine's own registry ----

# DIR is the header's default directory; the main window proposes what it resolves to
# (PATTERN, an extended regular expression over the edit's text).
destination() {  # DIR PATTERN [REG-KEY VALUE-NAME DATA]
    local dir=$1 pattern=$2
    if [[ $# -gt 2 ]]; then
        wine_run 30 reg add "$3" /v "$4" /d "$5" /f >/dev/null || { fail "reg add failed"; return; }
    fi
    two_files_sfx app.exe --caption "Destination" --dir "$dir" || return
    sfx_run app.exe <<'EOF2'
wait "Destination" 30 with 301
text 101
answer IDCANCEL
EOF2
    grep -qE "^text 101 \"$pattern\"\$" "$TRANSCRIPT" || fail "destination is not $pattern"
}
TEMP_DIR='C:\\users\\[^\\]+\\(AppData\\Local\\)?Temp\\'
KEY='HKCU\Software\Tarvex E2E'
scenario dest-plain    destination 'D:\Games\Old\' 'D:\\Games\\Old\\'
scenario dest-temp     destination '><' "$TEMP_DIR"
scenario dest-temp-suffix destination '><x' '><x'
scenario dest-registry destination 'HKCU\Software\Tarvex E2E\Path|Data\Sub' \
    'C:\\Games\\Data\\Sub' "$KEY" Path 'C:\Games;D:\Other'
scenario dest-registry-long-root destination 'HKEY_CURRENT_USER\Software\Tarvex E2E\Home' \
    'C:\\Home\\' "$KEY" Home 'C:\Home\'
scenario dest-registry-short destination 'HKCU\Software\Tarvex E2E\Short|Data' \
    "$TEMP_DIR" "$KEY" Short 'C:\'
scenario dest-registry-missing destination 'HKCU\Software\Tarvex E2E\Nothing|Data' "$TEMP_DIR"
scenario dest-registry-mixed-root destination 'HKcu\Software\Tarvex E2E\Path' "$TEMP_DIR"
