#!/usr/bin/env bash
# Checks the layout rules of CONTRIBUTING.md; prints each breach and exits 1
# when there is one.
#   scripts/check-layout.sh [SOURCE_DIR [libvltplatform.so]]
#
# 1. No include climbs out of its folder: no #include "../...".
# 2. The extension's folders depend one way: a file under dozuzudi/admin/F
#    includes "admin/G/..." only when G is F or a folder F may use (table
#    below); its other quoted includes are public platform headers and the
#    plug-in interfaces directly under dozuzudi/plugins/.
# 3. Nothing under dozuzudi/admin includes a system or third-party header:
#    its <...> includes are C++ standard headers (a bare name, no ".h" and no
#    "/").
# 4. Public and private platform headers (platform/base/api.h): a header of
#    dozuzudi/platform/F is public when it holds VLT_API_BEGIN. Code under
#    dozuzudi/ and tools/ includes a platform header of another folder (or
#    from outside the platform) only when it is public. netapi/local and
#    netapi/kerberos belong to netapi.
# 5. README.md's Layout table has a row for every folder of dozuzudi/ that
#    holds sources, every folder of tools/ and tests/, and bench/, fuzz/,
#    data/ and scripts/.
# 6. With the library given: every symbol libvltplatform.so exports has a
#    name that a public platform header declares (a C-linkage or global
#    name), or lives in namespace platform under such a name; instances of
#    the standard library's templates are left aside.
set -uo pipefail
src=${1:-$(cd "$(dirname "$0")/.." && pwd)}
lib=${2:-}
cd "$src" || exit 2
failed=0
breach() {
  echo "layout: $*"
  failed=1
}

# What each extension folder may include besides itself.
declare -A uses=(
  [host]="protocol groups password messages response xml trace metrics"
  [protocol]="groups password messages response xml trace metrics"
  [groups]="password messages response xml trace metrics"
  [password]="messages response xml trace metrics"
  [messages]="response xml trace"
  [response]="xml trace"
  [xml]=""
  [trace]=""
  [metrics]=""
  [setup]="trace"
)

sources() {
  find "$@" -type f \( -name '*.h' -o -name '*.cc' -o -name '*.c' -o -name '*.inl' \) 2>/dev/null |
    sort
}

declare -A public=()
while IFS= read -r header; do public[${header#dozuzudi/}]=1; done < <(
  grep -l VLT_API_BEGIN $(sources dozuzudi/platform))
is_public() { [[ -v public[$1] ]]; }

# The platform folder of a path below (dozuzudi/)platform/, in $folder_of
# ("" elsewhere).
folder_of() {
  local rest=${1#dozuzudi/}
  folder_of=""
  if [[ $rest == platform/* ]]; then
    rest=${rest#platform/}
    folder_of=${rest%%/*}
  fi
}

# 1. No "../" includes anywhere.
while IFS= read -r hit; do
  breach "include climbs out of its folder: $hit"
done < <(sources dozuzudi tools tests bench fuzz | xargs grep -Hn '#include "\.\./' 2>/dev/null)

# 2 and 3. The extension.
quoted='#include "([^"]*)"'
angled='#include <([^>]*)>'
while IFS=: read -r file _ line; do
  rest=${file#dozuzudi/admin/}
  folder=${rest%%/*}
  if [[ ! -v uses[$folder] ]]; then
    breach "$file: dozuzudi/admin/$folder is not a folder of the extension's order"
  elif [[ $line =~ $angled ]]; then
    inc=${BASH_REMATCH[1]}
    [[ $inc =~ ^[a-z_]+$ ]] || breach "$file: <$inc> is not a C++ standard header"
  elif [[ $line =~ $quoted ]]; then
    inc=${BASH_REMATCH[1]}
    case $inc in
      admin/*)
        target=${inc#admin/}
        target=${target%%/*}
        if [[ $target != "$folder" && " ${uses[$folder]} " != *" $target "* ]]; then
          breach "$file: admin/$folder may not include $inc"
        fi
        ;;
      platform/*) is_public "$inc" || breach "$file: $inc is a private platform header" ;;
      plugins/*/*) breach "$file: $inc belongs to a plug-in; use the interface under plugins/" ;;
      plugins/*) ;;
      *) breach "$file: include \"$inc\" is outside admin/, platform/ and plugins/" ;;
    esac
  fi
done < <(sources dozuzudi/admin | xargs grep -Hn '^\s*#\s*include')

# 4. Private platform headers stay in their folder.
while IFS=: read -r file _ line; do
  [[ $line =~ $quoted ]] || continue
  inc=${BASH_REMATCH[1]}
  folder_of "$inc"
  target=$folder_of
  folder_of "$file"
  [[ $target == "$folder_of" ]] && continue
  is_public "$inc" || breach "$file: $inc is private to platform/$target"
done < <(sources dozuzudi tools | xargs grep -Hn '#include "platform/')

# 5. The README's Layout table.
while IFS= read -r dir; do
  grep -qE "^\| \`$dir/?\` \|" README.md || breach "README.md: the Layout table has no row for $dir"
done < <({
  sources dozuzudi | xargs -n1 dirname | sort -u
  find tools tests -mindepth 1 -maxdepth 1 -type d | sort
  printf '%s\n' bench fuzz data scripts
})

# 6. The platform library's exports.
if [[ -n $lib ]]; then
  # Every identifier of the public platform headers.
  declare -A declared=()
  while IFS= read -r word; do declared[$word]=1; done < <(
    cd dozuzudi && cat "${!public[@]}" | grep -oE '\b[A-Za-z_][A-Za-z0-9_]*\b' | sort -u)
  # Each exported symbol with its outermost name and, inside namespace
  # platform, the next one ("std" for the standard library, "-" for a name
  # with C linkage).
  while read -r symbol outer inner; do
    case $outer in
      std | __gnu_cxx) ;;
      -) [[ -v declared[$symbol] ]] || breach "$lib exports $symbol, which no public header declares" ;;
      platform)
        [[ -n ${inner:-} && -v declared[$inner] ]] ||
          breach "$lib exports $(c++filt "$symbol"), which no public header declares"
        ;;
      *)
        [[ -v declared[$outer] ]] ||
          breach "$lib exports $(c++filt "$symbol"), which no public header declares"
        ;;
    esac
  done < <(nm -D --defined-only "$lib" | awk 'NF == 3 {
    symbol = s = $3
    if (s ~ /^(__gcov_|mangle_path$)/) next  # the coverage runtime (scripts/coverage.sh)
    if (s !~ /^_Z/) { print symbol, "-"; next }
    # Type information of function types: emitted for the call checks of
    # the undefined-behaviour sanitizer, not part of the interface.
    if (s ~ /^_ZT[IS]F/) next
    sub(/^_ZT[VISTHW]|^_ZGV|^_ZZ/, "_Z", s)
    s = substr(s, 3)
    sub(/^N/, "", s)
    sub(/^[rVK]+/, "", s)
    if (s ~ /^S[tabsiod]/) { print symbol, "std"; next }
    out = ""
    for (k = 0; k < 2; ++k) {
      if (!match(s, /^[0-9]+/)) break
      n = substr(s, 1, RLENGTH) + 0
      name = substr(s, RLENGTH + 1, n)
      out = out (out == "" ? "" : " ") name
      s = substr(s, RLENGTH + 1 + n)
      if (name != "platform") break
    }
    print symbol, (out == "" ? "?" : out)
  }')
fi

exit $failed
