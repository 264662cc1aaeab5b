#include "StripMessage.h"

#include <cstdio>

#include "HtmlRemover.h"
#include "Spool.h"
#include "SpoolCleanup.h"
#include "SpoolReading.h"
#include "SpoolText.h"
#include "platform/FileSync.h"
#include "pop3/KOVAPOP3.h"
#include "text/TextRules.h"

namespace {

constexpr std::string_view kContentType = "CONTENT-TYPE:";
constexpr std::string_view kHtmlType = "TEXT/HTML";
constexpr std::string_view kPlainType = "Content-Type: text/plain";

// One physical body line, or a piece of one too long to take at once (then
// `ended` is false and the line goes on in the next piece). Unlike ReadLine a
// long line is never split into several lines, and a NUL byte is kept.
bool readBodyPiece(std::FILE* file, std::string& piece, bool& ended) {
    piece.clear();
    ended = false;
    int c = EOF;
    while (piece.size() < kMaxLineLength && (c = std::getc(file)) != EOF) {
        if (c == '\n') {
            ended = true;
            break;
        }
        piece += static_cast<char>(c);
    }
    if (!ended) {
        if (c == EOF) {
            if (piece.empty()) return false;
            ended = true;  // the last line of a file without a final line end
        } else {
            const int next = std::getc(file);
            if (next == '\n' || next == EOF)
                ended = true;
            else
                std::ungetc(next, file);
        }
    }
    if (ended)
        while (!piece.empty() && (piece.back() == '\r' || piece.back() == '\n')) piece.pop_back();
    return true;
}

// A top-level HTML type is announced as plain text, its parameters kept.
void announcePlainText(std::string& line) {
    if (!text::startsWithIgnoreCase(line, kContentType)) return;
    const size_t at = text::toUpper(line).find(kHtmlType);
    if (at == std::string::npos) return;
    line = std::string(kPlainType) + line.substr(at + kHtmlType.size());
}

// Writes the spool file without its HTML into the work file and puts it in the
// spool file's place. False when the spool file was set aside as ".BAD".
bool rewriteWithoutHtml(const std::string& spoolPath, const std::string& workPath) {
    platform::StdioFile work = CreateWorkFile(workPath);
    if (!work) return true;
    platform::StdioFile spool = OpenSpoolFile(spoolPath);
    if (!spool) {
        work.reset();
        RemoveSpoolFile(workPath);
        MoveSpoolFile(spoolPath, SpoolState::SetAside);
        return false;
    }
    auto write = [&](const std::string& t) { return WriteSpoolText(t, spool, work, spoolPath, workPath); };

    std::string line;
    while (ReadHeaderLine(spool.get(), line)) {
        if (line.empty()) {
            if (!write(std::string(text::kLineEnd))) return false;
            break;
        }
        if (line == ".") break;
        announcePlainText(line);
        if (!write(line + std::string(text::kLineEnd))) return false;
    }

    HtmlRemover html;
    bool lineStart = true;
    bool ended = false;
    while (readBodyPiece(spool.get(), line, ended)) {
        if (lineStart && ended && line == ".") {
            if (!write(".\r\n")) return false;
            break;
        }
        const std::string out = html.take(line, ended);
        if (!out.empty() && !write(out)) return false;
        lineStart = ended;
    }

    spool.reset();
    // Buffered lines that never reached the disk are a failed write as well;
    // synced first, so a crash after the rename cannot leave a short message.
    const bool flushed = platform::syncStream(work.get());
    const bool closed = platform::closeFile(work);
    if (!flushed || !closed) {
        RemoveSpoolFile(workPath);
        MoveSpoolFile(spoolPath, SpoolState::SetAside);
        return false;
    }
    // One atomic step: the message is never missing, whenever the process stops.
    if (!MoveSpoolFile(workPath, SpoolState::Fetched)) RemoveSpoolFile(workPath);
    return true;
}

}  // namespace

void StripMessage(const MailList& list, const std::string& spoolPath) {
    if (spoolPath.empty()) return;
    const platform::Directory dir = SpoolDirectory(spoolPath);
    if (!dir || dir.type(SpoolName(spoolPath)) != platform::EntryType::File) return;
    std::printf(list.stripAttachments ? "    Stripping Attachments...\n" : "    Processing Attachments...\n");
    std::fflush(stdout);
    if (!AttachmentFolderUsable(spoolPath)) {
        MoveSpoolFile(spoolPath, SpoolState::SetAside);
        return;
    }
    const int32_t decoded = KOVAPOP3_DecodeAttachments(spoolPath.c_str(), 0);
    DropEmptyAttachmentFolder(spoolPath);
    if (decoded == KOVA_DECODE_FAILED || decoded == KOVA_TOO_MANY_PARTS) {
        // Nested deeper or in more parts than the decoder follows: a person has to look at it.
        std::printf(decoded == KOVA_DECODE_FAILED ? "    Message nested too deeply to decode...Set aside\n"
                                                  : "    Message has too many parts to decode...Set aside\n");
        std::fflush(stdout);
        MoveSpoolFile(spoolPath, SpoolState::SetAside);
        return;
    }
    if (decoded != 0) return;
    if (list.stripAttachments) DeleteAttachments(list, spoolPath);
    if (!list.stripHTML) return;
    std::printf("    Stripping HTML...\n");
    std::fflush(stdout);
    // The work file is named like the attachment folder; a spool name that
    // would make it the spool file itself is never rewritten.
    const std::string folder = AttachmentFolder(spoolPath);
    const std::string workPath = SpoolPath(spoolPath, SpoolState::Work);
    if (folder.empty() || workPath == spoolPath) return;
    rewriteWithoutHtml(spoolPath, workPath);
}
