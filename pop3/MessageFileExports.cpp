// The exports on message files: KOVAPOP3_GetMessageHeader and
// KOVAPOP3_DecodeAttachments. The work is the MIME layer's.

#include "KOVAPOP3.h"
#include "mime/AttachmentDecoder.h"
#include "mime/HeaderParser.h"

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
    return mime::readMessageHeader(path, to, toSize, cc, ccSize, from, fromSize, replyTo, replyToSize, subject,
                                   subjectSize, date, dateSize, header, headerSize, isMultipart, boundary,
                                   boundarySize);
}

extern "C" KOVAPOP3_API int32_t KOVAPOP3_DecodeAttachments(const char* path, int32_t /*unused*/) {
    return mime::decodeAttachments(path);
}
