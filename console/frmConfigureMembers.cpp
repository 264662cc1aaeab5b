// The Members page: entries carry the member file's bytes and their check
// mark; adding checks an address, a changed check mark asks first.
#include "frmConfigure.h"

#include "Dialogs.h"
#include "basRingpostCfg.h"
#include "frmConfigureCommon.h"
#include "frmMain.h"
#include "list/MemberFile.h"

#include <QLineEdit>
#include <QListWidget>
#include <memory>

using namespace editor;

namespace {

// The remembered check mark of a member entry, so a change of anything else
// on the entry is not taken for a click on its box.
constexpr int kWasCheckedRole = Qt::UserRole + 1;
constexpr int kBytesRole = Qt::UserRole;

}  // namespace

std::string frmConfigure::memberBytes(const QListWidgetItem* item) {
    return item->data(kBytesRole).toByteArray().toStdString();
}

void frmConfigure::addMember(const std::string& address, bool administrator) {
    // Check state and bytes are set before the entry joins the list, so
    // adding it asks nothing.
    auto* item = new ListNameItem(shown(address));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(administrator ? Qt::Checked : Qt::Unchecked);
    item->setData(kWasCheckedRole, administrator);
    item->setData(kBytesRole, QByteArray(address.data(), static_cast<qsizetype>(address.size())));
    lstMembers->addItem(item);
}

void frmConfigure::cmdAdd_Click() {
    const std::string address = text::trim(fieldBytes(txtMember));
    if (address.empty()) return;
    // What the member file would read back as an administrator, or as
    // several lines, is no address.
    if (address.compare(0, 3, list::kAdministratorMarker) == 0) {
        dialogs_.message(this,
                         QStringLiteral("An address can not begin with \"_!_\": the member file uses it to mark "
                                        "administrators. Add the address alone and check it to make it an "
                                        "administrator."),
                         QStringLiteral("Add Member"), DialogIcon::Error);
        return;
    }
    if (hasControlByte(address)) {
        dialogs_.message(this,
                         QStringLiteral("An address can not hold control characters such as tabs or line breaks."),
                         QStringLiteral("Add Member"), DialogIcon::Error);
        return;
    }
    const std::string upper = text::toUpper(address);
    for (int i = 0; i < lstMembers->count(); ++i) {
        QListWidgetItem* item = lstMembers->item(i);
        if (text::toUpper(memberBytes(item)) == upper) {
            lstMembers->setCurrentItem(item);
            dialogs_.message(this, shown(address) + QStringLiteral(" is already a member of this list."),
                             QStringLiteral("Add Member"), DialogIcon::Information);
            return;
        }
    }
    addMember(address, false);
    txtMember->clear();
}

void frmConfigure::cmdRemove_Click() {
    QListWidgetItem* item = lstMembers->currentItem();
    if (!item || !item->isSelected()) return;
    if (!dialogs_.question(this, QStringLiteral("Remove ") + item->text() + QStringLiteral(" from the list? Are you sure?"),
                           QStringLiteral("Remove Member"), DialogIcon::Question))
        return;
    // takeItem hands the item over; it goes when this scope ends.
    std::unique_ptr<QListWidgetItem> taken(lstMembers->takeItem(lstMembers->row(item)));
    lstMembers->setCurrentRow(lstMembers->count() > 0 ? 0 : -1);
}

void frmConfigure::lstMembers_ItemCheck(QListWidgetItem* item) {
    const bool checked = item->checkState() == Qt::Checked;
    if (checked == item->data(kWasCheckedRole).toBool()) return;  // not the box
    if (itemCheckGuard_ || !isVisible()) {
        item->setData(kWasCheckedRole, checked);
        return;
    }
    itemCheckGuard_ = true;
    const QString text = checked ? QStringLiteral("Are you sure you wish to make ") + item->text() +
                                       QStringLiteral(" an administrator?")
                                 : QStringLiteral("Are you sure you wish to remove ") + item->text() +
                                       QStringLiteral(" as an administrator?");
    if (!dialogs_.question(this, text, QString(), DialogIcon::Question))
        item->setCheckState(checked ? Qt::Unchecked : Qt::Checked);
    item->setData(kWasCheckedRole, item->checkState() == Qt::Checked);
    itemCheckGuard_ = false;
}
