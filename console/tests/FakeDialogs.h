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
#include <vector>

struct ShownDialog {
    QString kind;  // "message", "question", "input", "print"
    QString text;
    QString title;
    DialogIcon icon = DialogIcon::None;
};

class FakeDialogs : public Dialogs {
public:
    std::vector<ShownDialog> shown;
    std::deque<bool> answers;
    std::deque<QString> inputs;
    QString pdfPath;            // empty: the print dialog is cancelled
    std::function<void(QPrinter&)> setUpPrinter;  // after the A4 default
    uint32_t printFlags = 0;
    int unexpectedQuestions = 0;

    const ShownDialog* last() const { return shown.empty() ? nullptr : &shown.back(); }
    int count(const QString& kind) const {
        int n = 0;
        for (const auto& s : shown) n += s.kind == kind;
        return n;
    }
    void clear() { shown.clear(); }

protected:
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
    QString askInput(QWidget*, const QString& prompt, const QString& title, const QString&) override {
        shown.push_back({QStringLiteral("input"), prompt, title, DialogIcon::None});
        if (inputs.empty()) return {};
        QString s = inputs.front();
        inputs.pop_front();
        return s;
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
};
