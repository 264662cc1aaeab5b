// Scripted answers for the console's dialogs: every box is recorded, questions
// are answered from a list (No when the list has run out), the print dialog
// prints to a PDF file.
#pragma once

#include "Dialogs.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

struct ShownDialog {
    QString kind;  // "message", "question", "input", "print", "save"
    QString text;
    QString title;
    DialogIcon icon = DialogIcon::None;
};

class FakeDialogs : public Dialogs {
public:
    std::vector<ShownDialog> shown;
    std::deque<bool> answers;
    std::deque<std::optional<QString>> inputs;  // nothing: Cancel (also when run out)
    QString pdfPath;            // empty: the print dialog is cancelled
    std::function<void(QPrinter&)> setUpPrinter;  // after the A4 default
    uint32_t printFlags = 0;
    int unexpectedQuestions = 0;
    bool printerSetUp = true;
    std::deque<std::optional<QString>> saveNames;  // nothing: Cancel (also when run out)

    const ShownDialog* last() const { return shown.empty() ? nullptr : &shown.back(); }
    int count(const QString& kind) const {
        int n = 0;
        for (const auto& s : shown) n += s.kind == kind;
        return n;
    }
    void clear() { shown.clear(); }

protected:
    static std::optional<QString> take(std::deque<std::optional<QString>>& answers) {
        if (answers.empty() || !answers.front().has_value()) {
            if (!answers.empty()) answers.pop_front();
            return std::nullopt;
        }
        const QString text = *answers.front();
        answers.pop_front();
        return text;
    }

    void showMessage(QWidget*, const QString& text, const QString& title, DialogIcon icon) override {
        shown.push_back({QStringLiteral("message"), text, title, icon});
    }
    bool askQuestion(QWidget*, const QString& text, const QString& title, DialogIcon icon) override {
        shown.push_back({QStringLiteral("question"), text, title, icon});
        if (answers.empty()) {
            ++unexpectedQuestions;
            return false;
        }
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> askInput(QWidget*, const QString& prompt, const QString& title, const QString&) override {
        shown.push_back({QStringLiteral("input"), prompt, title, DialogIcon::None});
        return take(inputs);
    }
    bool showPrintDialog(QWidget*, QPrinter& printer, uint32_t flags) override {
        shown.push_back({QStringLiteral("print"), {}, {}, DialogIcon::None});
        printFlags = flags;
        if (pdfPath.isEmpty()) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        printer.setPageSize(QPageSize(QPageSize::A4));
        if (setUpPrinter) setUpPrinter(printer);
        return true;
    }
    bool hasPrinter() override { return printerSetUp; }
    std::optional<QString> askSaveFileName(QWidget*, const QString& title, const QString& suggested,
                                           const QString&) override {
        shown.push_back({QStringLiteral("save"), suggested, title, DialogIcon::None});
        return take(saveNames);
    }
};
