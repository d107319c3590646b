#include "publish/frmPublish.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/dialog_controls.h"
#include "platform/user_prompts.h"
#include "platform/validate_on_leave.h"
#include "platform/window_placement.h"
#include "publish/password_store.h"
#include "publish/publish_settings.h"
#include "publish/publisher.h"

namespace {

const QString BoxTitle = QStringLiteral("Publish");

// Shows the problem, if any; true when there was one.
bool Refuse(const QString& problem)
{
    if (problem.isEmpty())
        return false;
    Platform::MsgBox(problem, Platform::vbOKOnly + Platform::vbExclamation, BoxTitle);
    return true;
}

} // namespace

frmPublish::frmPublish(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPublish"));
    setWindowTitle(BoxTitle);
    setModal(true);

    chkEnabled =
        NamedControl<QCheckBox>(this, "chkEnabled", "&Publish every reading to the broker");
    txtBroker = NamedControl<QLineEdit>(this, "txtBroker");
    txtBroker->setPlaceholderText(QStringLiteral("broker.lab:1883"));
    txtTopic = NamedControl<QLineEdit>(this, "txtTopic");
    txtClientId = NamedControl<QLineEdit>(this, "txtClientId");
    txtUser = NamedControl<QLineEdit>(this, "txtUser");
    txtPassword = NamedControl<QLineEdit>(this, "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setPlaceholderText(QStringLiteral("unchanged"));
    chkTLS = NamedControl<QCheckBox>(this, "chkTLS", "Encrypt with T&LS");
    txtCAFile = NamedControl<QLineEdit>(this, "txtCAFile");
    txtCAFile->setPlaceholderText(QStringLiteral("the system's certificates"));

    auto* form = new QFormLayout;
    const auto row = [this, form](const char* name, const char* caption, QWidget* box) {
        auto* label = NamedControl<QLabel>(this, name, caption);
        label->setBuddy(box);
        form->addRow(label, box);
    };
    form->addRow(chkEnabled);
    row("lblBroker", "&Broker (host:port):", txtBroker);
    row("lblTopic", "&Topic prefix:", txtTopic);
    row("lblClientId", "Client &ID:", txtClientId);
    row("lblUser", "&User:", txtUser);
    row("lblPassword", "Pass&word:", txtPassword);
    form->addRow(chkTLS);
    row("lblCAFile", "C&A file:", txtCAFile);
    auto* lblTopics = NamedControl<QLabel>(
        this, "lblTopics",
        "Each reading goes to <prefix>/<client id>/<channel> as JSON, once the broker has "
        "acknowledged it; readings wait on this PC while the broker cannot be reached.");
    lblTopics->setWordWrap(true);

    const OkCancel buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lblTopics);
    layout->addLayout(buttons.row);

    connect(buttons.cmdOK, &QPushButton::clicked, this, &frmPublish::cmdOK_Click);
    connect(buttons.cmdCancel, &QPushButton::clicked, this, &frmPublish::reject);
    const QList<QWidget*> exempt{buttons.cmdCancel};
    Platform::ValidateOnLeave(
        txtBroker, [this] { return txtBroker_Validate(); }, exempt);
    Platform::ValidateOnLeave(
        txtTopic, [this] { return txtTopic_Validate(); }, exempt);
    Platform::ValidateOnLeave(
        txtClientId, [this] { return txtClientId_Validate(); }, exempt);
    Platform::ValidateOnLeave(
        txtCAFile, [this] { return txtCAFile_Validate(); }, exempt);

    Form_Load();
}

void frmPublish::Form_Load()
{
    const Publish::PublishSettings settings = Publish::LoadPublishSettings();
    chkEnabled->setChecked(settings.enabled);
    txtBroker->setText(settings.broker);
    txtTopic->setText(settings.topic);
    txtClientId->setText(settings.clientId);
    txtUser->setText(settings.user);
    chkTLS->setChecked(settings.tls);
    txtCAFile->setText(settings.caFile);
    adjustSize();
    Platform::CentreOnScreen(*this);
    chkEnabled->setFocus();
}

bool frmPublish::txtBroker_Validate()
{
    // Publishing off may leave the broker unset; a text typed must still make sense.
    if (txtBroker->text().trimmed().isEmpty() && !chkEnabled->isChecked())
        return false;
    return Refuse(Publish::CheckBroker(txtBroker->text()));
}

bool frmPublish::txtTopic_Validate()
{
    return Refuse(Publish::CheckTopic(txtTopic->text()));
}

bool frmPublish::txtClientId_Validate()
{
    const QString id = txtClientId->text().trimmed();
    if (id.isEmpty())
        return Refuse(QStringLiteral("Type a client ID that names this PC, for example its "
                                     "host name."));
    // It is one level of every topic.
    if (id.contains(u'/') || id.contains(u'+') || id.contains(u'#'))
        return Refuse(QStringLiteral("The client ID may not contain /, + or #."));
    return false;
}

bool frmPublish::txtCAFile_Validate()
{
    const QString path = txtCAFile->text().trimmed();
    if (path.isEmpty() || QFileInfo(path).isReadable())
        return false;
    return Refuse(QStringLiteral("The CA file %1 cannot be read.").arg(path));
}

void frmPublish::cmdOK_Click()
{
    // Enter or an access key reaches OK without leaving the box that has the focus.
    for (QLineEdit* box : {txtBroker, txtTopic, txtClientId, txtCAFile}) {
        const bool refused = box == txtBroker     ? txtBroker_Validate()
                             : box == txtTopic    ? txtTopic_Validate()
                             : box == txtClientId ? txtClientId_Validate()
                                                  : txtCAFile_Validate();
        if (refused) {
            box->setFocus();
            return;
        }
    }
    Publish::PublishSettings settings;
    settings.enabled = chkEnabled->isChecked();
    settings.broker = txtBroker->text().trimmed();
    settings.topic = txtTopic->text().trimmed();
    settings.clientId = txtClientId->text().trimmed();
    settings.user = txtUser->text().trimmed();
    settings.tls = chkTLS->isChecked();
    settings.caFile = txtCAFile->text().trimmed();
    Publish::SavePublishSettings(settings);
    Publish::Publisher* publisher = Publish::ThePublisher();
    if (txtPassword->text().isEmpty()) {
        publisher->ApplyStoredSettings();
    } else {
        // The publisher connects once the new password can be read back.
        Publish::WritePassword(settings.user, txtPassword->text(), publisher,
                               [publisher](const QString& problem) {
                                   if (!problem.isEmpty())
                                       Refuse(QStringLiteral("The password could not be kept in "
                                                             "the desktop's secret store: %1")
                                                  .arg(problem));
                                   publisher->ApplyStoredSettings();
                               });
    }
    accept();
}
