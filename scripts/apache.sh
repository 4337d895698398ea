# A private Apache httpd for the web tests, the benchmarks and the main job:
# WebDAV open (/dav/) and behind Basic sign-in (/auth/), plain http and https,
# and three https ports whose certificates are faulty on purpose. Everything
# it writes is under $VX_BUILD/run/apache; it listens on 127.0.0.1 only, on
# ports free at start, and is stopped by its process id with the other
# services. Sourced by setup.sh.
#
# Exports, for the programs under Wine:
#   VX_DAV_HTTP_PORT, VX_DAV_HTTPS_PORT        the good server (use https://localhost)
#   VX_DAV_UNTRUSTED_PORT                      certificate from a CA nobody trusts
#   VX_DAV_WRONGNAME_PORT                      certificate for DNS:otherhost.invalid
#   VX_DAV_EXPIRED_PORT                        certificate that expired
#   VX_DAV_ROOT                                the document root, as a Windows path
#   VX_DAV_USER, VX_DAV_PASSWORD               the sign-in of /auth/
#   VX_DAV_CA                                  the test CA (DER), as a Windows path
#   VX_DAV_CA_PEM                              the same (PEM), a Linux path, for curl

VX_DAV_USER=vxtester
VX_DAV_PASSWORD=vx-dav-pass
VX_APACHE_MODULES="mpm_event authz_core authz_user authn_core authn_file auth_basic auth_digest dav dav_fs ssl socache_shmcb
    mime alias headers"

# Ports that nothing listens on right now, on 127.0.0.1.
vx_free_ports() {
    python3 - "$1" <<'EOF'
import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))
EOF
}

# A certificate authority in $1 named $2, with what `openssl ca` needs to
# sign server certificates and publish an (empty) revocation list.
vx_pki_ca() {
    local dir=$1 name=$2
    mkdir -p "$dir/issued"
    : >"$dir/index.txt"
    echo 1000 >"$dir/serial"
    echo 1000 >"$dir/crlnumber"
    cat >"$dir/ca.cnf" <<EOF
[ca]
default_ca = this
[this]
dir = $dir
database = \$dir/index.txt
serial = \$dir/serial
crlnumber = \$dir/crlnumber
new_certs_dir = \$dir/issued
certificate = \$dir/ca.pem
private_key = \$dir/ca.key
default_md = sha256
default_days = 30
default_crl_days = 30
policy = anything
unique_subject = no
copy_extensions = none
[anything]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:\${ENV::VX_CERT_NAME}
crlDistributionPoints = URI:\${ENV::VX_CERT_CRL}
authorityKeyIdentifier = keyid
EOF
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$name" -keyout "$dir/ca.key" -out "$dir/ca.pem" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null &&
        VX_CERT_NAME=none VX_CERT_CRL=none openssl ca -batch -config "$dir/ca.cnf" -gencrl -out "$dir/ca.crl.pem" 2>/dev/null &&
        openssl crl -in "$dir/ca.crl.pem" -outform DER -out "$dir/ca.crl"
}

# A server certificate $1.pem from CA folder $2 for DNS name $3, its
# revocation list at URL $4; $5 $6 optional validity (YYYYMMDDHHMMSSZ). All
# servers share one key, server.key beside $1: keys are slow to make.
vx_pki_server() {
    local out=$1 ca=$2 dates=() key
    key="$(dirname "$out")/server.key"
    [ -n "${5:-}" ] && dates=(-startdate "$5" -enddate "$6")
    [ -f "$key" ] || openssl genrsa -out "$key" 2048 2>/dev/null || return 1
    openssl req -new -key "$key" -subj "/CN=$3" -out "$out.csr" 2>/dev/null &&
        VX_CERT_NAME=$3 VX_CERT_CRL=$4 openssl ca -batch -notext -config "$ca/ca.cnf" -extensions server \
            "${dates[@]}" -in "$out.csr" -out "$out.pem" 2>/dev/null
}

vx_start_apache() {
    if [ -n "${VX_APACHE_PID:-}" ] && kill -0 "$VX_APACHE_PID" 2>/dev/null; then return 0; fi
    local dir="$VX_BUILD/run/apache"
    local docs="$dir/htdocs" pki="$dir/pki" conf="$dir/httpd.conf"
    # Nothing of a previous run: a new CA, empty folders, fresh logs.
    rm -rf "$dir"
    mkdir -p "$docs/dav" "$docs/auth" "$docs/crl" "$dir/lock" "$dir/logs" "$dir/rt" "$pki"
    local ports http https untrusted wrongname expired
    ports=$(vx_free_ports 5) || return 1
    read -r http https untrusted wrongname expired <<<"$ports"

    # With revocation checking on (WinINet's default) Wine refuses a server
    # certificate that names no revocation list: each names one served here.
    local crl="http://127.0.0.1:$http/crl"
    # A name of its own for each run's CA: the prefix keeps earlier runs'
    # roots, and a chain must not find one of those as the issuer.
    local stamp
    stamp=$(date -u +%Y%m%d%H%M%S)-$$
    vx_pki_ca "$pki/ca" "Vellix Test CA $stamp" &&
        vx_pki_ca "$pki/other" "Vellix Untrusted CA $stamp" &&
        vx_pki_server "$pki/good" "$pki/ca" localhost "$crl/ca.crl" &&
        vx_pki_server "$pki/wrongname" "$pki/ca" otherhost.invalid "$crl/ca.crl" &&
        vx_pki_server "$pki/expired" "$pki/ca" localhost "$crl/ca.crl" 20200101000000Z 20200201000000Z &&
        vx_pki_server "$pki/untrusted" "$pki/other" localhost "$crl/other.crl" ||
        { vx_log "could not make the test certificates"; return 1; }
    # Each server sends its issuer along, as a real one does.
    local leaf
    for leaf in good wrongname expired; do cat "$pki/$leaf.pem" "$pki/ca/ca.pem" >"$pki/$leaf-chain.pem"; done
    cat "$pki/untrusted.pem" "$pki/other/ca.pem" >"$pki/untrusted-chain.pem"
    cp "$pki/ca/ca.crl" "$docs/crl/ca.crl"
    cp "$pki/other/ca.crl" "$docs/crl/other.crl"
    openssl x509 -in "$pki/ca/ca.pem" -outform DER -out "$pki/test-ca.cer"
    htpasswd -bc "$dir/htpasswd" "$VX_DAV_USER" "$VX_DAV_PASSWORD" >/dev/null 2>&1 ||
        { vx_log "htpasswd failed"; return 1; }

    {
        cat <<EOF
ServerRoot /usr/lib/apache2
ServerName localhost
PidFile $dir/rt/httpd.pid
DefaultRuntimeDir $dir/rt
Mutex file:$dir/rt default
ErrorLog $dir/logs/error.log
LogFormat "%{local}p %m %U %>s %b" vx
CustomLog $dir/logs/access.log vx
User www-data
Group www-data
TypesConfig /etc/mime.types
DocumentRoot $docs
DavLockDB $dir/lock/DavLock
SSLSessionCache shmcb:$dir/rt/ssl_scache(512000)
# Documents of 128 MB and more go up in one request.
LimitRequestBody 0
Timeout 120
# Idle kept-alive connections close soon, so a test of a request after the
# server closed one waits for that state briefly (the default is 5 s).
KeepAliveTimeout 1
Listen 127.0.0.1:$http
EOF
        local m
        for m in $VX_APACHE_MODULES; do echo "LoadModule ${m}_module modules/mod_$m.so"; done
        cat <<EOF
<Directory />
    Require all denied
    AllowOverride None
</Directory>
<Directory $docs>
    Require all granted
</Directory>
<Location /dav/>
    Dav On
</Location>
# A redirect from every server (https included) to plain http, for the
# rule that a page's https transfer never continues over http.
Redirect 302 /tohttp/ http://localhost:$http/dav/
<Location /auth/>
    Dav On
    AuthType Basic
    AuthName "Vellix test"
    AuthUserFile $dir/htpasswd
    Require valid-user
</Location>
EOF
        local vhost
        for vhost in "$https good" "$untrusted untrusted" "$wrongname wrongname" "$expired expired"; do
            set -- $vhost
            cat <<EOF
Listen 127.0.0.1:$1
<VirtualHost 127.0.0.1:$1>
    SSLEngine on
    SSLCertificateFile $pki/$2-chain.pem
    SSLCertificateKeyFile $pki/server.key
</VirtualHost>
EOF
        done
    } >"$conf"
    # Apache will not serve as root: its children are www-data and own
    # what they write.
    chown -R www-data:www-data "$docs" "$dir/lock"

    /usr/sbin/apache2 -f "$conf" -D FOREGROUND </dev/null >>"$dir/logs/console.log" 2>&1 &
    VX_APACHE_PID=$!
    local i
    for i in $(seq 1 100); do
        curl -sf -o /dev/null "http://127.0.0.1:$http/crl/ca.crl" && break
        kill -0 "$VX_APACHE_PID" 2>/dev/null || break
        sleep 0.1
    done
    if ! curl -sf -o /dev/null "http://127.0.0.1:$http/crl/ca.crl"; then
        vx_log "Apache did not start; see $dir/logs"
        vx_stop_apache
        return 1
    fi
    export VX_APACHE_PID VX_DAV_HTTP_PORT=$http VX_DAV_HTTPS_PORT=$https VX_DAV_UNTRUSTED_PORT=$untrusted \
        VX_DAV_WRONGNAME_PORT=$wrongname VX_DAV_EXPIRED_PORT=$expired VX_DAV_USER VX_DAV_PASSWORD
    VX_DAV_ROOT=$(vx_winpath "$docs")
    VX_DAV_CA=$(vx_winpath "$pki/test-ca.cer")
    VX_DAV_CA_PEM="$pki/ca/ca.pem"
    export VX_DAV_ROOT VX_DAV_CA VX_DAV_CA_PEM
}

vx_stop_apache() {
    [ -n "${VX_APACHE_PID:-}" ] || return 0
    # TERM makes the parent stop its children before it exits.
    kill "$VX_APACHE_PID" 2>/dev/null || true
    wait "$VX_APACHE_PID" 2>/dev/null || true
    unset VX_APACHE_PID
}

# The test CA into the prefix's machine Root store, from a process of its
# own (a process caches the stores it has opened).
vx_trust_test_ca() {
    [ -n "${VX_DAV_CA:-}" ] || return 0
    vx_wine "$VX_BUILD/bin/vx_trust_root.exe" "$VX_DAV_CA" || { vx_log "could not trust the test CA"; return 1; }
}
