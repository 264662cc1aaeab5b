// KOVAPOP3_GetMessageHeader: the header values of a message file.

#include "HeaderParser.h"
#include "KOVAPOP3.h"
#include "platform/StdioFile.h"
#include "transport/ResultCodes.h"

extern "C" KOVAPOP3_API int32_t KOVAPOP3_GetMessageHeader(const char* path,
                                                          char* to, uint32_t* toSize,
                                                          char* cc, uint32_t* ccSize,
                                                          char* from, uint32_t* fromSize,
                                                          char* replyTo, uint32_t* replyToSize,
                                                          char* subject, uint32_t* subjectSize,
                                                          char* date, uint32_t* dateSize,
                                                          char* header, uint32_t* headerSize,
                                                          int32_t* isMultipart,
                                                          char* boundary, uint32_t* boundarySize) {
    if (!path) return ResultCode::NullPointer;
    try {
        platform::StdioFile file = platform::openFile(path, "rb");
        if (!file) return ResultCode::FileNotOpened;
        pop3::LineReader reader(file.get(), 64 * 1024);
        pop3::HeaderFields fields;
        fields.to = {to, toSize};
        fields.cc = {cc, ccSize};
        fields.from = {from, fromSize};
        fields.replyTo = {replyTo, replyToSize};
        fields.subject = {subject, subjectSize};
        fields.date = {date, dateSize};
        fields.header = {header, headerSize};
        fields.boundary = {boundary, boundarySize};
        fields.isMultipart = isMultipart;
        return pop3::ParseHeader(&reader, nullptr, fields);
    } catch (...) {
        // Only allocation can fail by throwing here.
        return ResultCode::OutOfMemory;
    }
}
