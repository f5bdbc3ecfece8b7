# The publisher's own file: a self-extractor made with --icon and version strings
# carries a version resource that Windows' own API reads (verinfo.exe), and still
# extracts as before.

publisher_version_and_icon() {
    put_file in/a.txt "alpha"
    put_file in/sub/b.txt "beta"
    # A round icon with transparent corners, in three sizes of 32-bit colour.
    convert -size 64x64 radial-gradient:yellow-purple -alpha set -channel A \
        -fx 'hypot(i-32,j-32)<28?1:0' \( +clone -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
        app.ico 2>/dev/null || { fail "convert could not make an icon"; return; }
    sfx_make product.exe --caption "Publisher" --dir "$CASE_WIN\\out" --icon app.ico \
        --version-string "ProductName=Acme Widget" --version-string "CompanyName=Acme Ltd" \
        --file-version 2.3.4.5 --product-version 2.3.0.0 -C in . || return
    wine_run "$E2E_WIN32/verinfo.exe" product.exe ProductName CompanyName ProductVersion \
        | tr -d '\r' >verinfo.txt
    printf '%s\n' "ProductName=Acme Widget" "CompanyName=Acme Ltd" "ProductVersion=2.3.0.0" \
        "FileVersion=2.3.4.5" | cmp -s - verinfo.txt ||
        fail "the version API read: $(paste -sd '|' verinfo.txt)"
    sfx_run product.exe <<'EOF'
wait "Publisher" 30 with 301
expect-list 301 "a.txt" "sub/" "sub/b.txt"
click IDOK
msgbox "Finished." 30
answer IDOK
EOF
    expect_file out/a.txt "alpha"
    expect_file out/sub/b.txt "beta"
}
scenario publisher-version-and-icon publisher_version_and_icon
