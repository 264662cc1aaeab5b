#include "frmSecurity.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The combo's entries and the values they store. "None" is stored as no
// value at all, so a plain list's file does not change.
const char* const kChoices[] = {"None", "TLS", "STARTTLS"};

QString fromBytes(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string toBytes(const QString& s) { return s.trimmed().toLatin1().toStdString(); }

}  // namespace

QString securitySummary(const SecurityValues& v, bool smtp) {
    const QString mode = QString::fromStdString(v.security).trimmed().toUpper();
    QString text = mode.isEmpty() || mode == QStringLiteral("NONE") ? QStringLiteral("Plain text") : mode;
    if (!v.caFile.empty()) text += QStringLiteral(", own CA file");
    if (smtp && !v.username.empty()) text += QStringLiteral(", login as ") + fromBytes(v.username);
    return text;
}

frmSecurity::frmSecurity(bool smtp, const SecurityValues& values, QWidget* parent) : QDialog(parent), smtp_(smtp) {
    setWindowTitle(smtp ? QStringLiteral("SMTP Security") : QStringLiteral("POP3 Security"));
    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Connection:"), this), row, 0);
    cboSecurity = new QComboBox(this);
    cboSecurity->setObjectName(QStringLiteral("cboSecurity"));
    for (const char* c : kChoices) cboSecurity->addItem(QString::fromLatin1(c));
    const QString stored = QString::fromStdString(values.security).trimmed();
    if (!stored.isEmpty()) {
        int i = cboSecurity->findText(stored, Qt::MatchFixedString);
        if (i < 0) {
            // A value the engine does not know stays as written, so saving
            // never turns it into plain text.
            cboSecurity->addItem(stored);
            i = cboSecurity->count() - 1;
        }
        cboSecurity->setCurrentIndex(i);
    }
    grid->addWidget(cboSecurity, row++, 1, 1, 2);

    grid->addWidget(new QLabel(QStringLiteral("CA File:"), this), row, 0);
    txtCAFile = new QLineEdit(fromBytes(values.caFile), this);
    txtCAFile->setObjectName(QStringLiteral("txtCAFile"));
    txtCAFile->setToolTip(QStringLiteral("Certificates (PEM) trusted besides the system's, for a private authority"));
    grid->addWidget(txtCAFile, row, 1);
    cmdBrowse = new QPushButton(QStringLiteral("Browse..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    grid->addWidget(cmdBrowse, row++, 2);
    chooseFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("CA File"), txtCAFile->text(),
                                            QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    };
    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        const QString f = chooseFile();
        if (!f.isEmpty()) txtCAFile->setText(f);
    });

    if (smtp) {
        grid->addWidget(new QLabel(QStringLiteral("Username:"), this), row, 0);
        txtUsername = new QLineEdit(fromBytes(values.username), this);
        txtUsername->setObjectName(QStringLiteral("txtSMTPUsername"));
        grid->addWidget(txtUsername, row++, 1, 1, 2);
        grid->addWidget(new QLabel(QStringLiteral("Password:"), this), row, 0);
        txtPassword = new QLineEdit(fromBytes(values.password), this);
        txtPassword->setObjectName(QStringLiteral("txtSMTPPassword"));
        txtPassword->setEchoMode(QLineEdit::Password);
        grid->addWidget(txtPassword, row++, 1, 1, 2);
        chkAllowPlainAuth = new QCheckBox(QStringLiteral("Allow the password without TLS"), this);
        chkAllowPlainAuth->setObjectName(QStringLiteral("chkAllowPlainAuth"));
        chkAllowPlainAuth->setChecked(values.allowPlainAuth);
        grid->addWidget(chkAllowPlainAuth, row++, 1, 1, 2);
    }

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdOK->setDefault(true);
    grid->addWidget(cmdOK, row, 1);
    grid->addWidget(cmdCancel, row, 2);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

SecurityValues frmSecurity::values() const {
    SecurityValues v;
    const QString mode = cboSecurity->currentText();
    v.security = mode == QStringLiteral("None") ? std::string() : toBytes(mode);
    v.caFile = toBytes(txtCAFile->text());
    if (smtp_) {
        v.username = toBytes(txtUsername->text());
        v.password = txtPassword->text().toLatin1().toStdString();
        v.allowPlainAuth = chkAllowPlainAuth->isChecked();
    }
    return v;
}
