# Test certificates (sourced): certificates DIR NAME CN SAN makes DIR/ca.pem,
# which signs DIR/NAME.pem (key DIR/NAME.key) for CN and the subjectAltName
# SAN, and DIR/other-ca.pem, which signs nothing.
certificates() {
  local t=$1
  mkdir -p "$t"
  for ca in ca other-ca; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$t/$ca.key" -out "$t/$ca.pem" -days 2 \
      -subj "/CN=Test $ca" -addext 'basicConstraints=critical,CA:TRUE' \
      -addext 'keyUsage=critical,keyCertSign,cRLSign' 2>/dev/null
  done
  openssl req -newkey rsa:2048 -nodes -keyout "$t/$2.key" -out "$t/$2.csr" -subj "/CN=$3" 2>/dev/null
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' "$4" > "$t/ext.cnf"
  openssl x509 -req -in "$t/$2.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial \
    -out "$t/$2.pem" -days 2 -extfile "$t/ext.cnf" 2>/dev/null
  chmod 600 "$t"/*.key
}
