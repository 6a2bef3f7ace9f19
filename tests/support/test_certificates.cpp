#include "support/test_certificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace pvx::testing {

namespace {

// `openssl ca` is the only way openssl 3.0 gives a certificate explicit
// dates (x509 -not_before came later); its database lives in the folder.
constexpr char kConfig[] = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
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
subjectKeyIdentifier = hash
[server_ext]
basicConstraints = CA:FALSE
subjectAltName = DNS:localhost, IP:127.0.0.1, IP:::1
extendedKeyUsage = serverAuth
[other_ext]
basicConstraints = CA:FALSE
subjectAltName = DNS:other.example
extendedKeyUsage = serverAuth
[client_ext]
basicConstraints = CA:FALSE
extendedKeyUsage = clientAuth
)";

class Maker {
public:
    explicit Maker(const QString &folder) : m_folder(folder) {}

    bool run(const QStringList &arguments)
    {
        QProcess openssl;
        openssl.setWorkingDirectory(m_folder);
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"), arguments);
        const bool ok = openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit
            && openssl.exitCode() == 0;
        if (!ok)
            ADD_FAILURE() << "openssl " << arguments.join(QLatin1Char(' ')).toStdString() << ":\n"
                          << openssl.readAll().toStdString();
        return ok;
    }

    bool key(const QString &name)
    {
        return run({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("EC"),
                    QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-out"),
                    name + QStringLiteral(".key")})
            && QFile::setPermissions(path(name + QStringLiteral(".key")),
                                     QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    bool authority(const QString &name)
    {
        return key(name)
            && run({QStringLiteral("req"), QStringLiteral("-config"), QStringLiteral("openssl.cnf"),
                    QStringLiteral("-new"), QStringLiteral("-x509"), QStringLiteral("-key"), name + QStringLiteral(".key"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=Porvix Test ") + name, QStringLiteral("-days"),
                    QStringLiteral("30"), QStringLiteral("-extensions"), QStringLiteral("ca_ext"), QStringLiteral("-out"),
                    name + QStringLiteral(".pem")});
    }

    /// A certificate `name`.pem for a new key, signed by `issuer`; `dates`
    /// are openssl ca's -days or -startdate/-enddate arguments.
    bool issue(const QString &name, const QString &commonName, const QString &extensions, const QString &issuer,
               const QStringList &dates = {QStringLiteral("-days"), QStringLiteral("30")})
    {
        return key(name)
            && run({QStringLiteral("req"), QStringLiteral("-config"), QStringLiteral("openssl.cnf"),
                    QStringLiteral("-new"), QStringLiteral("-key"), name + QStringLiteral(".key"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName, QStringLiteral("-out"),
                    name + QStringLiteral(".csr")})
            && run(QStringList{QStringLiteral("ca"), QStringLiteral("-config"), QStringLiteral("openssl.cnf"),
                               QStringLiteral("-batch"), QStringLiteral("-notext"), QStringLiteral("-cert"),
                               issuer + QStringLiteral(".pem"), QStringLiteral("-keyfile"),
                               issuer + QStringLiteral(".key"), QStringLiteral("-extensions"), extensions,
                               QStringLiteral("-in"), name + QStringLiteral(".csr"), QStringLiteral("-out"),
                               name + QStringLiteral(".pem")}
                   + dates);
    }

    QString path(const QString &file) const { return m_folder + QLatin1Char('/') + file; }

private:
    QString m_folder;
};

bool makeAll(Maker &maker)
{
    const auto dates = [](const char *from, const char *to) {
        return QStringList{QStringLiteral("-startdate"), QString::fromLatin1(from), QStringLiteral("-enddate"),
                           QString::fromLatin1(to)};
    };
    const QString server = QStringLiteral("server_ext");
    return maker.authority(QStringLiteral("ca")) && maker.authority(QStringLiteral("otherca"))
        && maker.issue(QStringLiteral("server"), QStringLiteral("localhost"), server, QStringLiteral("ca"))
        && maker.issue(QStringLiteral("client"), QStringLiteral("porvix-test-client"), QStringLiteral("client_ext"),
                       QStringLiteral("ca"))
        && maker.issue(QStringLiteral("expired"), QStringLiteral("localhost"), server, QStringLiteral("ca"),
                       dates("20200101000000Z", "20200201000000Z"))
        && maker.issue(QStringLiteral("notyetvalid"), QStringLiteral("localhost"), server, QStringLiteral("ca"),
                       dates("20990101000000Z", "20991231000000Z"))
        && maker.issue(QStringLiteral("othername"), QStringLiteral("other.example"), QStringLiteral("other_ext"),
                       QStringLiteral("ca"))
        && maker.issue(QStringLiteral("untrusted"), QStringLiteral("localhost"), server, QStringLiteral("otherca"))
        && maker.run({QStringLiteral("pkey"), QStringLiteral("-in"), QStringLiteral("server.key"),
                      QStringLiteral("-aes256"), QStringLiteral("-passout"), QStringLiteral("pass:secret"),
                      QStringLiteral("-out"), QStringLiteral("encrypted.key")})
        && QFile::setPermissions(maker.path(QStringLiteral("encrypted.key")),
                                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

TestCertificates TestCertificates::make(const QString &folder)
{
    TestCertificates made;
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
        made.missing = QStringLiteral("the openssl command is not installed");
        return made;
    }
    Maker maker(folder);
    const auto pair = [&](QString &certificate, QString &key, const char *name) {
        certificate = maker.path(QString::fromLatin1(name) + QStringLiteral(".pem"));
        key = maker.path(QString::fromLatin1(name) + QStringLiteral(".key"));
    };
    QString caKey;
    pair(made.caFile, caKey, "ca");
    pair(made.serverCert, made.serverKey, "server");
    pair(made.clientCert, made.clientKey, "client");
    pair(made.expiredCert, made.expiredKey, "expired");
    pair(made.notYetValidCert, made.notYetValidKey, "notyetvalid");
    pair(made.otherNameCert, made.otherNameKey, "othername");
    pair(made.untrustedCert, made.untrustedKey, "untrusted");
    made.encryptedKey = maker.path(QStringLiteral("encrypted.key"));

    const QString done = maker.path(QStringLiteral("made"));
    if (QFile::exists(done))
        return made;
    QDir().mkpath(folder);
    QFile config(maker.path(QStringLiteral("openssl.cnf")));
    QFile index(maker.path(QStringLiteral("index.txt")));
    QFile serial(maker.path(QStringLiteral("serial")));
    const bool prepared = config.open(QIODevice::WriteOnly) && config.write(kConfig) > 0
        && index.open(QIODevice::WriteOnly) && serial.open(QIODevice::WriteOnly) && serial.write("1000\n") > 0;
    config.close();
    index.close();
    serial.close();
    if (prepared && makeAll(maker)) {
        QFile stamp(done);
        (void)stamp.open(QIODevice::WriteOnly);
    } else {
        ADD_FAILURE() << "test certificates could not be made in " << folder.toStdString();
    }
    return made;
}

} // namespace pvx::testing
