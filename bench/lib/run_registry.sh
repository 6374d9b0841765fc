# Sourced by the load benchmarks: write_run_registry SRC DIR writes
# DIR/vltadmin.reg, whose install location DIR/root holds the shipped alias
# file (so the real extension starts), and prints its path.
write_run_registry() {
  mkdir -p "$2/root/System32"
  cp "$1/data/vltxmlss.txt" "$2/root/System32/"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]\r\n"Location"="%s"\r\n' \
    "$2/root" >"$2/vltadmin.reg"
  echo "$2/vltadmin.reg"
}

for tool in wrk nginx python3 ss; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 1; }
done
