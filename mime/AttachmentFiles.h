// Every file the decoder creates, renames or removes: the rewrite file beside
// the message, the attachment folder and the files in it. Nothing else in
// the MIME layer touches the file system, so how such files are made is
// decided here alone. A file is only ever created new, never over another.
//
// The message's directory may be written by others (a list shared with its
// group): everything is done relative to it, held open, so a link planted
// at the folder, a file or the rewrite file is never followed, and what is
// created gets the directory's modes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "LineWriter.h"
#include "platform/Directory.h"

namespace mime {

class AttachmentFiles {
public:
    // For the message file at `messagePath`: the rewrite file beside it, and
    // the attachment folder named like it without its 4-byte extension.
    explicit AttachmentFiles(const std::string& messagePath);
    // Files straight in `folder`, without a message.
    static AttachmentFiles inFolder(const std::string& folder);

    AttachmentFiles(AttachmentFiles&&) = delete;
    AttachmentFiles& operator=(AttachmentFiles&&) = delete;

    // The message for reading: only a regular file, never what a link
    // in its place leads to. Null when there is none.
    platform::StdioFile openMessage() const;

    // A new file in the attachment folder, open for writing.
    struct File {
        LineWriter writer;
        std::string path;
        std::string name;  // within the folder
    };

    // `name` (a plain file name), or "name (2).ext", "name (3).ext"... when
    // the folder holds it already. nullopt when no file could be made.
    std::optional<File> createNamed(const std::string& name);
    // "AttachNN<ext>" with the next number not taken.
    std::optional<File> createNumbered(std::string_view ext);
    // The path createNumbered would take now, for the line that reports a
    // part that got no file.
    std::string nextNumberedPath(std::string_view ext);
    // A file whose content could not be decoded: it goes.
    void discard(File& file);

    // A name or number series reached kMaxFiles: the folder holds more files
    // than a message should make, and the decoder refuses the message.
    bool full() const { return full_; }
    // A refused message keeps nothing: removes every file made here, and the
    // folder when it was made here.
    void removeCreated();

    // The rewritten message beside the message file, created (never over a
    // link or another file) only once its first bytes must reach the disk.
    LineWriter& rewrite();
    // Puts the rewrite in the message's place in one step: 0, -25 (not
    // created), -26 (not all written) or -28 (not renamed).
    int32_t replaceMessage();
    // Drops the rewrite and its file.
    void discardRewrite();

    // Series of same-named or numbered files end here.
    static constexpr int kMaxFiles = 10000;

private:
    struct InFolder {};
    AttachmentFiles(InFolder, const std::string& folder);
    bool prepareFolder();
    bool folderHolds(const std::string& name);
    std::optional<File> createFirstFree(std::map<std::string, int, std::less<>>& counters, std::string_view key,
                                        std::string (*candidate)(std::string_view key, int n));

    platform::Directory directory_;  // the message's
    std::string messageName_;
    std::string folderName_;  // in directory_
    std::string folderPath_;  // as the caller named it, for printed lines
    platform::Directory folder_;
    std::optional<LineWriter> rewrite_;
    bool rewriteCreated_ = false;
    bool folderTried_ = false;
    bool folderMade_ = false;
    bool full_ = false;
    // The next try of each series, so that no name is tried twice: a message
    // of many same-named or unnamed parts costs one try per file.
    std::map<std::string, int, std::less<>> nextOfName_;
    std::map<std::string, int, std::less<>> nextOfExtension_;
    std::vector<std::string> created_;
};

}  // namespace mime
