// The header reader called with the 18 arguments of KOVAPOP3_GetMessageHeader,
// which hands them on unchanged.
#pragma once

#include <cstdint>

#include "HeaderParser.h"

inline int32_t getMessageHeader(const char* path, char* to, uint32_t* toSize, char* cc, uint32_t* ccSize, char* from,
                                uint32_t* fromSize, char* replyTo, uint32_t* replyToSize, char* subject,
                                uint32_t* subjectSize, char* date, uint32_t* dateSize, char* header,
                                uint32_t* headerSize, int32_t* isMultipart, char* boundary, uint32_t* boundarySize) {
    mime::HeaderFields f;
    f.to = {to, toSize};
    f.cc = {cc, ccSize};
    f.from = {from, fromSize};
    f.replyTo = {replyTo, replyToSize};
    f.subject = {subject, subjectSize};
    f.date = {date, dateSize};
    f.header = {header, headerSize};
    f.boundary = {boundary, boundarySize};
    f.isMultipart = isMultipart;
    return mime::readMessageHeader(path, f);
}
