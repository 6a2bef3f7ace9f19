#include "support/test_certificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace pvx::testing {

namespace {

// Run by bash in the folder. `openssl ca` is the way openssl 3.0 gives a
// certificate explicit dates (x509 -not_before came later).
constexpr char kScript[] = R"(set -eu
cat > openssl.cnf <<'END'
[req]
distinguished_name = dn
[dn]
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
[server_ext]
subjectAltName = DNS:localhost, IP:127.0.0.1, IP:::1
extendedKeyUsage = serverAuth
[other_ext]
subjectAltName = DNS:other.example
extendedKeyUsage = serverAuth
[client_ext]
extendedKeyUsage = clientAuth
END
: > index.txt
echo 1000 > serial
umask 077
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key"; }
authority() {
    key "$1"
    openssl req -config openssl.cnf -new -x509 -key "$1.key" -subj "/CN=Porvix Test $1" -days 30 \
        -extensions ca_ext -out "$1.pem"
}
issue() { # name common-name extensions issuer dates...
    key "$1"
    openssl req -config openssl.cnf -new -key "$1.key" -subj "/CN=$2" -out "$1.csr"
    openssl ca -config openssl.cnf -batch -notext -cert "$4.pem" -keyfile "$4.key" -extensions "$3" \
        -in "$1.csr" -out "$1.pem" "${@:5}" 2>/dev/null
}
authority ca
authority otherca
issue server localhost server_ext ca -days 30
issue client porvix-test-client client_ext ca -days 30
issue expired localhost server_ext ca -startdate 20200101000000Z -enddate 20200201000000Z
issue notyetvalid localhost server_ext ca -startdate 20990101000000Z -enddate 20991231000000Z
issue othername other.example other_ext ca -days 30
issue untrusted localhost server_ext otherca -days 30
openssl pkey -in server.key -aes256 -passout pass:secret -out encrypted.key
touch made
)";

} // namespace

TestCertificates TestCertificates::make(const QString &folder)
{
    TestCertificates made;
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
        made.missing = QStringLiteral("the openssl command is not installed");
        return made;
    }
    const auto in = [&](const char *name) { return folder + QLatin1Char('/') + QLatin1String(name); };
    made.caFile = in("ca.pem");
    made.serverCert = in("server.pem");
    made.serverKey = in("server.key");
    made.clientCert = in("client.pem");
    made.clientKey = in("client.key");
    made.expiredCert = in("expired.pem");
    made.expiredKey = in("expired.key");
    made.notYetValidCert = in("notyetvalid.pem");
    made.notYetValidKey = in("notyetvalid.key");
    made.otherNameCert = in("othername.pem");
    made.otherNameKey = in("othername.key");
    made.untrustedCert = in("untrusted.pem");
    made.untrustedKey = in("untrusted.key");
    made.encryptedKey = in("encrypted.key");
    if (QFile::exists(in("made")))
        return made;

    QDir().mkpath(folder);
    QProcess bash;
    bash.setProcessChannelMode(QProcess::MergedChannels);
    bash.setWorkingDirectory(folder);
    bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), QString::fromLatin1(kScript)});
    const bool ok = bash.waitForFinished(60000) && bash.exitStatus() == QProcess::NormalExit && bash.exitCode() == 0;
    if (!ok)
        ADD_FAILURE() << "test certificates could not be made in " << folder.toStdString() << ":\n"
                      << bash.readAll().toStdString();
    return made;
}

} // namespace pvx::testing
