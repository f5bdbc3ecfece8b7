# Extraction scenarios: the file list, the option bits that shape the main window, Start
# into a typed destination, the overwrite question, passwords, damaged entries and the
# automatic start, checked on screen, on disk and by the exit code.

EX_FACTS="$E2E_ROOT/tests/e2e/zipentry.py"

# ex_dos_time PATH SOURCE: PATH's last-write time is SOURCE's at the 2-second precision of
# DOS times (builders round odd seconds either way, so one second off is fine, but the
# result must be an even second).
ex_dos_time() {
    local got want
    got=$(stat -c %Y "$CASE/$1" 2>/dev/null) || { fail "missing file $1"; return 1; }
    want=$(stat -c %Y "$CASE/$2")
    if ((got % 2 != 0 || got - want > 1 || want - got > 1)); then
        fail "$1 last written $(date -d "@$got" '+%F %T'), its source $(date -d "@$want" '+%F %T')"
        return 1
    fi
}

# ex_where FILE NAME: sets EX_HEADER EX_DATA EX_METHOD EX_FLAGS EX_SIZE of that entry.
ex_where() {
    local facts
    facts=$(python3 "$EX_FACTS" where "$CASE/$1" "$2") || { fail "no entry $2 in $1"; return 1; }
    read -r EX_HEADER EX_DATA EX_METHOD EX_FLAGS EX_SIZE <<<"$facts"
}

# ex_three_stored CAPTION: app.exe of a.txt, b.txt and c.txt ("first", "second", "third"),
# stored and all selected, with EX_* set for b.txt (the entry the damage scenarios patch).
ex_three_stored() {
    put_file in/a.txt "first"
    put_file in/b.txt "second"
    put_file in/c.txt "third"
    sfx_make app.exe --caption "$1" --select-files --store -C in a.txt b.txt c.txt || return
    ex_where app.exe b.txt
}

# The worked example header: 60 bytes as laid out byte by byte, and the window it gives.
example_header() {
    put_file in/ADOPTED.W52 "adopted"
    put_file in/notes.txt "notes"
    sfx_make app.exe --caption "Self Extracting Archive, TARVEX 1.5" --command "><ADOPTED.W52" \
        --raw-options 0x22 -C in notes.txt ADOPTED.W52 || return
    local want got
    want=$(printf 'DID\x22\x00\x01\x3c\x00\x23%s\x00\x0d%s\x00PK\x03\x04' \
        "Self Extracting Archive, TARVEX 1.5" "><ADOPTED.W52" | od -An -tx1 | tr -d ' \n')
    got=$(od -An -tx1 -j "$(stat -c %s "$E2E_STUB")" -N 64 app.exe | tr -d ' \n')
    [[ $got == "$want" ]] || fail "header bytes $got, expected $want"
    mkdir -p out
    SFX_CWD=$CASE/out sfx_start "$CASE/app.exe"
    robot <<R
wait "Self Extracting Archive, TARVEX 1.5" 30 with 301
expect-list 301 "ADOPTED.W52" "notes.txt"
expect-selected 301 2
expect-state 301 visible
expect-state 302 hidden
expect-text 101 "$CASE_WIN\\out\\"
expect-state 503 visible checked
expect-state 501 unchecked
expect-state 1007 hidden checked
expect-text 1007 "After extraction, run : ADOPTED.W52 "
click IDOK
msgbox "Finished." 30
expect-msgbox "All files have been extracted." no OK
answer IDOK
R
    sfx_wait 30
    expect_file out/ADOPTED.W52 "adopted"
    expect_file out/notes.txt "notes"
}
scenario extract-example-header example_header

# An Info-ZIP archive with stored and deflated entries, a folder, an empty file and names
# out of order: the list is sorted with every item selected, Start extracts into the
# typed destination (missing folders made), contents and DOS times match the sources.
start_typed_destination() {
    mkdir -p in/Mid
    put_file in/Zeta.txt "zeta"
    put_file in/alpha.txt "alpha"
    put_file in/Mid/inner.sto "stored as is"
    put_file in/empty.txt ""
    { seq 1 20000; head -c 150000 /dev/urandom; } >in/big.bin
    touch -d "2019-07-14 12:30:44" in/Zeta.txt
    touch -d "1999-12-31 23:59:59" in/alpha.txt
    touch -d "2004-02-29 08:00:02" in/Mid/inner.sto
    (cd in && zip -q -X -r -n .sto ../in.zip Zeta.txt alpha.txt Mid empty.txt big.bin) ||
        { fail "zip failed"; return; }
    sfx_make app.exe --caption "Typed" --select-files in.zip || return
    ex_where app.exe Mid/inner.sto && [[ $EX_METHOD == 0 ]] || fail "inner.sto is not stored"
    ex_where app.exe big.bin && [[ $EX_METHOD == 8 ]] || fail "big.bin is not deflated"
    sfx_start app.exe
    robot <<R
wait "Typed" 30 with 301
expect-list 301 "alpha.txt" "big.bin" "empty.txt" "Mid/" "Mid/inner.sto" "Zeta.txt"
expect-selected 301 6
expect-text 101 "$CASE_WIN"
settext 101 "$CASE_WIN\\out\\deep"
click IDOK
msgbox "Finished." 30
expect-msgbox "All files have been extracted." no OK
answer IDOK
R
    sfx_wait 30
    local f
    for f in Zeta.txt alpha.txt Mid/inner.sto empty.txt big.bin; do
        expect_same "out/deep/$f" "in/$f" && ex_dos_time "out/deep/$f" "in/$f"
    done
    expect_dir out/deep/Mid
}
scenario extract-start-typed start_typed_destination

# DOS times are local times: under a zone far from UTC (builder and stub both in it) the
# extracted file gets back its source's instant, not one shifted by the zone's offset.
local_time() {
    put_file in/a.txt "zoned"
    touch -d "2019-07-14 12:30:44 UTC" in/a.txt
    TZ=Asia/Kolkata sfx_make app.exe --caption "Zone" -C in a.txt || return
    TZ=Asia/Kolkata sfx_start app.exe
    robot <<R
wait "Zone" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    expect_file out/a.txt "zoned" && ex_dos_time out/a.txt in/a.txt
}
scenario extract-local-time local_time

# No file choice and a locked overwrite mode: the plain list shows the names until Start,
# the four overwrite controls are gone, and Start extracts everything.
plain_list_locked() {
    put_file in/one.txt "one"
    put_file in/two.txt "two"
    sfx_make app.exe --caption "Plain" --lock-overwrite -C in one.txt two.txt || return
    sfx_start app.exe
    robot <<R
wait "Plain" 30 with 302
expect-state 302 visible
expect-state 301 hidden
expect-list 302 "one.txt" "two.txt"
expect-state 501 missing
expect-state 502 missing
expect-state 503 missing
expect-state 509 missing
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Finished." 30
wait "Plain" 30
expect-state 301 visible
expect-state 302 hidden
expect-selected 301 0
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    expect_file out/one.txt "one"
    expect_file out/two.txt "two"
}
scenario extract-plain-locked plain_list_locked

# The two overwrite bits choose the checked radio button: 1 Overwrite, 2 Don't
# overwrite, 3 (like 0) Confirm.
overwrite_values() {
    put_file in/a.txt "a"
    local row opts on off1 off2
    for row in "0x0a 501 502 503" "0x12 502 501 503" "0x1a 503 501 502"; do
        read -r opts on off1 off2 <<<"$row"
        sfx_make "app$opts.exe" --caption "Mode $opts" --raw-options "$opts" -C in a.txt || return
        sfx_start "app$opts.exe"
        robot <<R
wait "Mode $opts" 30 with 301
expect-state $on checked
expect-state $off1 unchecked
expect-state $off2 unchecked
answer IDCANCEL
R
        sfx_wait 30
    done
}
scenario extract-overwrite-values overwrite_values

# Confirm mode with three existing files: Yes overwrites, No keeps, and "Don't ask
# again" with Yes moves the radio buttons to Overwrite and asks no more.
confirm_overwrite() {
    local f
    for f in a b c d; do put_file "in/$f.txt" "new $f"; done
    for f in a b c d; do put_file "out/$f.txt" "old $f"; done
    touch -d "2001-01-01 00:00:00" out/b.txt
    sfx_make app.exe --caption "Confirm" --select-files -C in a.txt b.txt c.txt d.txt || return
    sfx_start app.exe
    robot <<R
wait "Confirm" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
wait "Confirm overwrite of..." 30
expect-text 101 "a.txt...already exists, overwrite ?"
expect-state 401 unchecked
answer IDOK
wait "Confirm overwrite of..." 30
expect-text 101 "b.txt...already exists, overwrite ?"
answer IDCANCEL
wait "Confirm overwrite of..." 30
expect-text 101 "c.txt...already exists, overwrite ?"
check 401 1
answer IDOK
msgbox "Finished." 30
wait "Confirm" 30 with 301
expect-state 501 checked
expect-state 502 unchecked
expect-state 503 unchecked
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    expect_file out/a.txt "new a"
    expect_file out/b.txt "old b"
    expect_mtime out/b.txt "2001-01-01 00:00:00"
    expect_file out/c.txt "new c"
    expect_file out/d.txt "new d"
    expect_no_transcript "d.txt...already exists"
}
scenario extract-confirm-overwrite confirm_overwrite

# "Don't ask again" with No: the mode becomes Don't overwrite for the rest of the run.
confirm_never_again() {
    local f
    for f in a b c; do put_file "in/$f.txt" "new $f"; done
    for f in a b; do put_file "out/$f.txt" "old $f"; done
    sfx_make app.exe --caption "Never" -C in a.txt b.txt c.txt || return
    sfx_start app.exe
    robot <<R
wait "Never" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
wait "Confirm overwrite of..." 30
expect-text 101 "a.txt...already exists, overwrite ?"
check 401 1
answer IDCANCEL
msgbox "Finished." 30
wait "Never" 30 with 301
expect-state 502 checked
expect-state 501 unchecked
expect-state 503 unchecked
msgbox "Finished." 30
answer IDOK
R
    sfx_wait 30
    expect_file out/a.txt "old a"
    expect_file out/b.txt "old b"
    expect_file out/c.txt "new c"
    expect_no_transcript "b.txt...already exists"
}
scenario extract-confirm-never-again confirm_never_again

# Don't-overwrite mode from the header: existing files are left as they are, untouched,
# without a question, and the run still counts as complete.
dont_overwrite() {
    put_file in/a.txt "new a"
    put_file in/b.txt "new b"
    put_file out/a.txt "old a"
    touch -d "2002-02-02 02:02:02" out/a.txt
    sfx_make app.exe --caption "Keep" --overwrite never -C in a.txt b.txt || return
    sfx_start app.exe
    robot <<R
wait "Keep" 30 with 301
expect-state 502 checked
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Finished." 30
expect-msgbox "All files have been extracted." no OK
answer IDOK
R
    sfx_wait 30
    expect_file out/a.txt "old a"
    expect_mtime out/a.txt "2002-02-02 02:02:02"
    expect_file out/b.txt "new b"
    expect_no_transcript "Confirm overwrite of..."
}
scenario extract-dont-overwrite dont_overwrite

# An encrypted archive made by TOOL: the first entry asks for the password once, the
# second one is decrypted with the password held.
ex_password_archive() {  # TOOL: zip or 7z; makes $CASE/enc.zip from in/one.txt in/two.txt
    put_file in/one.txt "the first secret"
    seq 1 5000 >in/two.txt
    rm -f enc.zip
    case $1 in
    zip) (cd in && zip -q -X -P secret ../enc.zip one.txt two.txt) ;;
    7z) (cd in && 7z a -tzip -mem=ZipCrypto -psecret ../enc.zip one.txt two.txt >/dev/null) ;;
    esac || { fail "$1 could not make the encrypted archive"; return 1; }
}

password_once() {  # TOOL
    ex_password_archive "$1" || return
    sfx_make app.exe --caption "Secret $1" enc.zip || return
    sfx_start app.exe
    robot <<R
wait "Secret $1" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
wait "Enter password..." 30 with 101
settext 101 "secret"
answer IDOK
msgbox "Finished." 30
expect-msgbox "All files have been extracted." no OK
answer IDOK
R
    sfx_wait 30
    expect_same out/one.txt in/one.txt
    expect_same out/two.txt in/two.txt
    [[ $(grep -c 'window "Enter password..."' "$TRANSCRIPT") == 1 ]] ||
        fail "the password was asked for more than once"
}
scenario extract-password-zip password_once zip
scenario extract-password-7z password_once 7z

# Three refused passwords: no message at all, nothing written, every item still selected.
password_refused() {
    ex_password_archive zip || return
    sfx_make app.exe --caption "Refused" --select-files enc.zip || return
    local wrong
    mapfile -t wrong < <(python3 "$EX_FACTS" wrong-passwords "$CASE/app.exe" one.txt 3)
    [[ ${#wrong[@]} == 3 ]] || { fail "no wrong passwords found"; return; }
    sfx_start app.exe
    robot <<R
wait "Refused" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
wait "Enter password..." 30 with 101
settext 101 "${wrong[0]}"
answer IDOK
wait "Enter password..." 30 with 101
settext 101 "${wrong[1]}"
answer IDOK
wait "Enter password..." 30 with 101
settext 101 "${wrong[2]}"
answer IDOK
absent "Enter password..." 1.5
absent "Error.." 0.5
absent "Finished." 0.5
wait "Refused" 30 with 301
expect-items-selected 301 "one.txt" "two.txt"
expect-state IDOK enabled
answer IDCANCEL
R
    sfx_wait 30
    expect_no_file out
}
scenario extract-password-refused password_refused

# An entry whose method is neither stored nor deflated (here bzip2's 12, patched into a
# good self-extractor): "Unknown compression type", the entry's file stays empty, the
# pass ends there without a closing message, the later entries are not extracted.
unknown_method() {
    ex_three_stored "Method" || return
    patch_bytes app.exe $((EX_HEADER + 8)) "0c 00"
    sfx_start app.exe
    robot <<R
wait "Method" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Error.." 30
expect-msgbox "Unknown compression type" error OK
answer IDOK
absent "Error.." 0.5
absent "Finished." 0.5
wait "Method" 30 with 301
expect-items-selected 301 "b.txt" "c.txt"
answer IDCANCEL
R
    sfx_wait 30
    expect_file out/a.txt "first"
    expect_file out/b.txt ""
    expect_no_file out/c.txt
}
scenario extract-unknown-method unknown_method

# One changed data byte of a stored entry: the CRC differs, the file stays as written,
# the item stays selected and the run ends with "The selected file(s) couldn't get
# extracted."; the other entries are extracted. A second Start takes up only the entry
# still selected (the others exist now and would bring the overwrite question first).
crc_mismatch() {
    ex_three_stored "Damaged" || return
    patch_bytes app.exe "$EX_DATA" "53"  # "second" becomes "Second"
    sfx_start app.exe
    robot <<R
wait "Damaged" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Error.." 30
expect-msgbox "The selected file(s) couldn't get extracted." error OK
answer IDOK
wait "Damaged" 30 with 301
expect-items-selected 301 "b.txt"
click IDOK
wait "Confirm overwrite of..." 30
expect-text 101 "b.txt...already exists, overwrite ?"
answer IDOK
msgbox "Error.." 30
expect-msgbox "The selected file(s) couldn't get extracted." error OK
answer IDOK
wait "Damaged" 30 with 301
expect-items-selected 301 "b.txt"
answer IDCANCEL
R
    sfx_wait 30
    expect_file out/a.txt "first"
    expect_file out/b.txt "Second"
    expect_file out/c.txt "third"
}
scenario extract-crc-mismatch crc_mismatch

# A damaged entry over an existing file: the overwrite is confirmed, the CRC fails, and
# the old file is still there as it was, with no temporary file left beside it.
damaged_over_existing() {
    ex_three_stored "Kept" || return
    patch_bytes app.exe "$EX_DATA" "53"
    put_file out/b.txt "the user's own"
    sfx_start app.exe
    robot <<R
wait "Kept" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
wait "Confirm overwrite of..." 30
answer IDOK
msgbox "Error.." 30
expect-msgbox "The selected file(s) couldn't get extracted." error OK
answer IDOK
wait "Kept" 30 with 301
expect-items-selected 301 "b.txt"
answer IDCANCEL
R
    sfx_wait 30
    expect_file out/b.txt "the user's own"
    expect_file out/c.txt "third"
    [[ -z $(ls out | grep -iv '^[abc]\.txt$') ]] || fail "left in out: $(ls out)"
}
scenario extract-damaged-over-existing damaged_over_existing

# Names Windows takes for devices are refused like unsafe names: nothing is written, no
# overwrite question comes (the device would answer the existence test), the rest goes on.
device_names() {
    put_file in/nul.txt "n"
    put_file in/a/con "c"
    put_file in/com1.log "m"
    put_file in/ok.txt "fine"
    sfx_make app.exe --caption "Devices" --select-files --unsafe-names -C in nul.txt a/con com1.log ok.txt || return
    sfx_start app.exe
    robot <<R
wait "Devices" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Cannot open file .." 30
expect-msgbox "$CASE_WIN\\out\\a\\con" error OK
answer IDOK
msgbox "Cannot open file .." 30
expect-msgbox "$CASE_WIN\\out\\com1.log" error OK
answer IDOK
msgbox "Cannot open file .." 30
expect-msgbox "$CASE_WIN\\out\\nul.txt" error OK
answer IDOK
msgbox "Error.." 30
answer IDOK
wait "Devices" 30 with 301
expect-items-selected 301 "a/con" "com1.log" "nul.txt"
answer IDCANCEL
R
    sfx_wait 30
    expect_file out/ok.txt "fine"
    [[ $(ls out) == ok.txt ]] || fail "out holds: $(ls out)"
    expect_no_transcript "already exists"
}
scenario extract-device-names device_names

# Automatic start: a file named "!..." extracts with nobody at the controls, shows no
# "Finished." box, and ends by itself with exit code 0.
auto_start() {
    put_file in/a.txt "auto a"
    put_file in/sub/b.txt "auto b"
    sfx_make '!auto.exe' --caption "Auto" --auto-start --dir "$CASE_WIN\\out" -C in a.txt sub || return
    sfx_start '!auto.exe'
    sfx_wait 30
    expect_file out/a.txt "auto a"
    expect_file out/sub/b.txt "auto b"
}
scenario extract-auto-start auto_start

# Existing files and links in overwrite mode. The suite runs as root, for whom no write
# is ever refused: Wine shows a file without write bits as read-only, and the stub goes
# by that attribute, so chmod on the host is what makes a read-only file here. A
# read-only file is refused, not replaced by the rename; a dangling link whose target
# lies outside the destination is never written through. Both stay selected.
existing_in_the_way() {
    put_file in/a.txt "new a"
    put_file in/b.txt "new b"
    put_file in/c.txt "new c"
    put_file out/a.txt "old a"
    chmod a-w out/a.txt
    ln -s "$CASE/outside.txt" out/b.txt
    # A hidden system file is replaced and stays hidden and system.
    put_file out/c.txt "old c"
    wine_run cmd /c attrib +h "$CASE_WIN\\out\\c.txt" >/dev/null  # one attribute a call under Wine
    wine_run cmd /c attrib +s "$CASE_WIN\\out\\c.txt" >/dev/null
    sfx_make app.exe --caption "In the way" --select-files --overwrite always -C in a.txt b.txt c.txt ||
        return
    sfx_start app.exe
    robot <<R
wait "In the way" 30 with 301
settext 101 "$CASE_WIN\\out"
click IDOK
msgbox "Cannot open file .." 30
expect-msgbox "$CASE_WIN\\out\\a.txt" error OK
answer IDOK
msgbox "Cannot open file .." 30
expect-msgbox "$CASE_WIN\\out\\b.txt" error OK
answer IDOK
msgbox "Error.." 30
answer IDOK
wait "In the way" 30 with 301
expect-items-selected 301 "a.txt" "b.txt"
answer IDCANCEL
R
    sfx_wait 30
    expect_file out/a.txt "old a"
    [[ -w out/a.txt && $(stat -c %a out/a.txt) != 444 ]] && fail "a.txt lost its read-only mode"
    expect_no_file outside.txt
    [[ -L out/b.txt ]] || fail "the link b.txt was replaced"
    expect_file out/c.txt "new c"
    [[ $(wine_run cmd /c attrib "$CASE_WIN\\out\\c.txt" | cut -c1-12) == *S*H* ]] ||
        fail "c.txt lost its attributes: $(wine_run cmd /c attrib "$CASE_WIN\\out\\c.txt")"
}
scenario extract-existing-in-the-way existing_in_the_way
