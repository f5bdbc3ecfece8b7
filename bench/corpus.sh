# bench/corpus.sh: the benchmark corpus, shared by bench/run and bench/wine-extract
# (sourced; bash). `bench_corpus DIR` remakes DIR/corpus and writes:
#   DIR/include.list  the header paths taken, relative to /usr/include
#   DIR/corpus.list   every corpus file, relative to DIR/corpus, sorted bytewise
# and leaves the binaries that this machine lacks in the array `missing`.
#
# Text: every regular file below /usr/include/{c++,linux,asm-generic,x86_64-linux-gnu}
# and directly in /usr/include; binaries: /usr/bin/{bash,perl,tar,dpkg,find,grep,ls,
# cp,sort,sed,gzip}. Names with characters other than [A-Za-z0-9._+/-] and names
# equal to an earlier one but for case are left out, as a Windows folder could not
# hold both.
bench_corpus() {
  local dir=$1 rel key name
  local corpus=$dir/corpus
  rm -rf "$corpus"
  mkdir -p "$corpus/include" "$corpus/bin"
  local -A seen=()
  : >"$dir/include.list"
  while IFS= read -r rel; do
    [[ $rel =~ ^[A-Za-z0-9._+/-]+$ ]] || continue
    key=${rel,,}
    [[ -z ${seen[$key]:-} ]] || continue
    seen[$key]=1
    printf '%s\n' "$rel" >>"$dir/include.list"
  done < <(cd /usr/include &&
           { find c++ linux asm-generic x86_64-linux-gnu -type f 2>/dev/null;
             find . -maxdepth 1 -type f -printf '%P\n'; } | LC_ALL=C sort)
  (cd /usr/include && xargs -d '\n' cp --parents -t "$corpus/include" <"$dir/include.list")
  missing=()
  for name in bash perl tar dpkg find grep ls cp sort sed gzip; do
    if [[ -f /usr/bin/$name ]]; then cp "/usr/bin/$name" "$corpus/bin/$name"; else missing+=("$name"); fi
  done
  (cd "$corpus" && find include bin -type f | LC_ALL=C sort) >"$dir/corpus.list"
}
