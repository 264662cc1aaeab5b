// Every message box, question, input box and print dialog of the console goes
// through this interface: the program answers them with real Qt dialogs, the
// tests with a script.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QPrinter;
class QWidget;

enum class DialogIcon { None, Information, Question, Warning, Error };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A box with an OK button. An empty title shows the application's title.
    void message(QWidget* owner, const QString& text, const QString& title, DialogIcon icon);
    // Yes and No, No as the default (also for Return and Escape). True on Yes.
    bool question(QWidget* owner, const QString& text, const QString& title, DialogIcon icon);
    // The typed text; nothing when cancelled.
    std::optional<QString> input(QWidget* owner, const QString& prompt, const QString& title, const QString& defaultText);
    // The print dialog over `printer`, with the print-dialog flag bits of
    // clsPrintDlgFlags. True when the user chose to print.
    bool choosePrinter(QWidget* owner, QPrinter& printer, uint32_t flags);
    // Whether the system has any printer set up.
    bool printerAvailable() { return hasPrinter(); }
    // A file name to save to; nothing when cancelled.
    std::optional<QString> saveFileName(QWidget* owner, const QString& title, const QString& suggested,
                                        const QString& filter) {
        return askSaveFileName(owner, title, suggested, filter);
    }

protected:
    virtual void showMessage(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) = 0;
    virtual bool askQuestion(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) = 0;
    virtual std::optional<QString> askInput(QWidget* owner, const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    virtual bool showPrintDialog(QWidget* owner, QPrinter& printer, uint32_t flags) = 0;
    virtual bool hasPrinter() = 0;
    virtual std::optional<QString> askSaveFileName(QWidget* owner, const QString& title, const QString& suggested,
                                                   const QString& filter) = 0;
};

// The real dialogs.
class QtDialogs final : public Dialogs {
protected:
    void showMessage(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) override;
    bool askQuestion(QWidget* owner, const QString& text, const QString& title, DialogIcon icon) override;
    std::optional<QString> askInput(QWidget* owner, const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    bool showPrintDialog(QWidget* owner, QPrinter& printer, uint32_t flags) override;
    bool hasPrinter() override;
    std::optional<QString> askSaveFileName(QWidget* owner, const QString& title, const QString& suggested,
                                           const QString& filter) override;
};
