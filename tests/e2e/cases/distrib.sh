# Distribution scenarios: a self-extractor signed with Authenticode passes the
# completeness check (and one byte appended after the signature does not), names
# packed on Linux reach the user in the ANSI code page, and the execution level
# written by --elevation starts.

# A throwaway certificate and its key in $CASE (the chain is of course untrusted).
make_cert() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
        -subj "/CN=Tarvex e2e" >/dev/null 2>&1 || { fail "openssl could not make a certificate"; return 1; }
}

signed_extracts() {
    make_cert || return
    put_file in/a.txt "alpha"
    put_file in/sub/b.txt "beta"
    sfx_make app.exe --caption "Signed" --dir "$CASE_WIN\\out" --select-files \
        --sign-cert cert.pem --sign-key key.pem -C in . || return
    osslsigncode verify -CAfile cert.pem app.exe >/dev/null 2>&1 || fail "osslsigncode verify failed"
    sfx_run app.exe <<'EOF'
wait "Signed" 30 with 301
expect-list 301 "a.txt" "sub/" "sub/b.txt"
click IDOK
msgbox "Finished." 30
expect-msgbox "All files have been extracted." no OK
answer IDOK
EOF
    expect_file out/a.txt "alpha"
    expect_file out/sub/b.txt "beta"
}
scenario distrib-signed-extracts signed_extracts

signed_byte_appended() {
    make_cert || return
    put_file in/a.txt "alpha"
    sfx_make app.exe --caption "Signed" --sign-cert cert.pem --sign-key key.pem -C in . || return
    append_bytes app.exe "00"
    sfx_run app.exe <<'EOF'
msgbox "Error.." 30
expect-msgbox "Incorrect file size, please try to download this file again." error OK
answer IDOK
EOF
    expect_no_transcript 'window "Signed"'
}
scenario distrib-signed-byte-appended signed_byte_appended

accented_names() {
    # Wine takes the ANSI code page from the Unix locale: 1252 with C.UTF-8 (with
    # LANG unset the stub would create no file). The scenario's own subshell.
    export LANG=C.UTF-8 LC_ALL=
    mkdir -p in/Übersicht
    printf 'café' >in/café.txt
    printf 'Größe' >in/Übersicht/Größe.txt
    sfx_make app.exe --caption "Names" --dir "$CASE_WIN\\out" --select-files -C in . || return
    sfx_run app.exe <<'EOF'
wait "Names" 30 with 301
expect-list 301 "café.txt" "Übersicht/" "Übersicht/Größe.txt"
click IDOK
msgbox "Finished." 30
answer IDOK
EOF
    expect_file out/café.txt "café"
    expect_file out/Übersicht/Größe.txt "Größe"
}
scenario distrib-accented-names accented_names

elevation_admin() {
    put_file in/a.txt "alpha"
    sfx_make app.exe --caption "Admin" --elevation admin --dir "$CASE_WIN\\out" -C in . || return
    "$E2E_MKSFX" --info app.exe | grep -q "manifest execution level requireAdministrator" ||
        fail "--info does not show requireAdministrator"
    sfx_run app.exe <<'EOF'
wait "Admin" 30 with 301
click IDOK
msgbox "Finished." 30
answer IDOK
EOF
    expect_file out/a.txt "alpha"
}
scenario distrib-elevation-admin elevation_admin

windows_builder_names() {
    # The Windows builder reads file names through the wide calls: a name of
    # code page 1251 is packed though Wine's ANSI code page here is 1252.
    export LANG=C.UTF-8 LC_ALL=
    put_file "in/Привет.txt" "privet"
    timeout 60 wine "$E2E_WIN32/mksfx.exe" --codepage 1251 --stub "$(winpath "$E2E_STUB")" \
        -o "$(winpath "$CASE/app.exe")" -C "$(winpath "$CASE/in")" . >mksfx.log 2>&1 ||
        { fail "mksfx.exe failed: $(tr -d '\r' <mksfx.log)"; return; }
    "$E2E_MKSFX" --info --codepage 1251 "$CASE/app.exe" | grep -q '"Привет.txt"' ||
        fail "the entry is not Привет.txt in code page 1251"
}
scenario distrib-windows-builder-names windows_builder_names
