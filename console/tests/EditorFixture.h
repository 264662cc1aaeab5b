// What the list editor's tests share: a system directory and a home for
// lists, scripted dialogs, and the editor opened, filled and checked.
#pragma once

#include "FakeDialogs.h"
#include "SystemDirFixture.h"
#include "TempDir.h"
#include "frmConfigure.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

inline const QString kApp = QStringLiteral("Configure KOVA(tm) Ringpost");

inline QListWidgetItem* entry(const frmConfigure& w, const QString& text) {
    for (int i = 0; i < w.lstMembers->count(); ++i)
        if (w.lstMembers->item(i)->text() == text) return w.lstMembers->item(i);
    return nullptr;
}

inline QStringList entries(const frmConfigure& w) {
    QStringList out;
    for (int i = 0; i < w.lstMembers->count(); ++i) {
        const QListWidgetItem* item = w.lstMembers->item(i);
        out << (item->checkState() == Qt::Checked ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + item->text();
    }
    return out;
}

// Everything below a directory, for "nothing was written" checks.
inline std::vector<std::string> tree(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

class EditorFixture {
protected:
    SystemDirFixture sys_;
    std::unique_ptr<TempDir> home_;
    FakeDialogs dialogs_;
    std::vector<int> helpTopics_;

    std::unique_ptr<frmConfigure> open(const QString& list = QString()) {
        auto w = std::make_unique<frmConfigure>(dialogs_, home_->path());
        w->showHelp = [this](int topic) { helpTopics_.push_back(topic); };
        if (!list.isEmpty()) w->PopulateFormWith(list);
        w->show();
        return w;
    }

    // Adds a member and, when asked, makes it an administrator (answering Yes).
    void add(frmConfigure& w, const QString& address, bool administrator = false) {
        w.txtMember->setText(address);
        // Controls of a page behind the front one are disabled.
        if (w.currentPage() == 3)
            w.cmdAdd->click();
        else
            w.cmdAdd_Click();
        if (administrator) {
            QListWidgetItem* item = entry(w, address);
            QVERIFY(item);
            dialogs_.answers.push_back(true);
            item->setCheckState(Qt::Checked);
        }
    }

    // A valid list, ready to save.
    std::unique_ptr<frmConfigure> validList(const QString& name = QStringLiteral("Jokes")) {
        auto w = open();
        w->txtName->setText(name);
        add(*w, QStringLiteral("boss@example.com"), true);
        dialogs_.clear();
        return w;
    }

    void expectRefused(frmConfigure& w, const QString& text, int page, QWidget* focus) {
        QVERIFY(w.isVisible());
        QVERIFY(dialogs_.last());
        QCOMPARE(dialogs_.last()->kind, QStringLiteral("message"));
        QCOMPARE(dialogs_.last()->text, text);
        QCOMPARE(dialogs_.last()->title, kApp);
        QCOMPARE(dialogs_.last()->icon, DialogIcon::Error);
        QCOMPARE(w.currentPage(), page);
        QCOMPARE(w.focusWidget(), focus);
    }

    void writeList(const std::string& dir, const std::string& settings, const std::string& members) {
        home_->mkdir(dir);
        home_->write(dir + "/Settings.INI", settings);
        home_->write(dir + "/Members.TXT", members);
    }

    void reset() {
        home_ = std::make_unique<TempDir>();
        dialogs_ = FakeDialogs();
        helpTopics_.clear();
    }
};
