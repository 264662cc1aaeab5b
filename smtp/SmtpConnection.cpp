#include "SmtpConnection.h"

#include "smtp/HeloDomain.h"
#include "smtp/SmtpAuthentication.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

using transport::Limits;

// In the order of Step. Every reply may take the one reply limit.
constexpr StepRule kRules[] = {
    {Step::Greeting, 220, &Limits::replyMs}, {Step::Ehlo, 250, &Limits::replyMs},
    {Step::Helo, 250, &Limits::replyMs},     {Step::StartTls, 220, &Limits::replyMs},
    {Step::Auth, 235, &Limits::replyMs},     {Step::Reset, 250, &Limits::replyMs},
    {Step::Mail, 250, &Limits::replyMs},     {Step::Recipient, 250, &Limits::replyMs},
    {Step::Data, 354, &Limits::replyMs},     {Step::EndOfData, 250, &Limits::replyMs},
    {Step::Quit, 221, &Limits::replyMs},
};

constexpr bool inOrder() {
    for (size_t i = 0; i < std::size(kRules); ++i)
        if (static_cast<size_t>(kRules[i].step) != i) return false;
    return std::size(kRules) == static_cast<size_t>(Step::Quit) + 1;
}
static_assert(inOrder());

uint16_t portFor(const Security& security) {
    return security.mode == Security::Tls        ? kTlsPort
           : security.mode == Security::StartTls ? kSubmissionPort
                                                 : kDefaultPort;
}

}  // namespace

const StepRule& rule(Step step) { return kRules[static_cast<size_t>(step)]; }

bool accepted(Step step, const Reply& reply) {
    return reply.code == rule(step).accepts || (step == Step::Recipient && reply.code == 251);
}

int32_t Connection::command(std::string_view text, Step step, Reply& reply) {
    reply = {};
    if (socket_.BytesAvailable() > 0) return ResultCode::IncorrectResponse;
    const int32_t r = socket_.Send(text);
    if (r != ResultCode::Success) return r;
    return await(step, reply);
}

int32_t Connection::await(Step step, Reply& reply) {
    const int32_t r = readReply(socket_, reply, transport::limits().*rule(step).limit);
    last_ = reply;
    // An intermediate 334 of AUTH is no refusal either.
    refused_ = r == ResultCode::Success && !accepted(step, reply) && reply.code != 334;
    return r;
}

int32_t Connection::hello(const std::string& domain) {
    Reply reply;
    int32_t r = command("ehlo " + domain + "\r\n", Step::Ehlo, reply);
    if (r != ResultCode::Success) return r;
    if (!accepted(Step::Ehlo, reply)) {
        // A server that does not know EHLO refuses it with 5xx (RFC 5321
        // 3.2); it may still take HELO, with no extensions.
        if (reply.klass() != 5) return ResultCode::IncorrectResponse;
        r = command("helo " + domain + "\r\n", Step::Helo, reply);
        if (r != ResultCode::Success) return r;
        if (!accepted(Step::Helo, reply)) return ResultCode::IncorrectResponse;
    }
    offered_ = parseEhlo(reply);
    return ResultCode::Success;
}

int32_t Connection::open(const std::string& server, std::string_view from, const Security& security, bool record) {
    offered_ = {};
    greeted_ = false;
    last_ = {};
    refused_ = false;
    socket_.SetRecording(false);  // Connect starts a fresh one when asked
    int32_t r = socket_.Connect(server.c_str(), portFor(security), true, record);
    if (r == ResultCode::Success && security.mode == Security::Tls)
        r = socket_.StartTls(transport::TlsOptions{security.caFile});
    if (r != ResultCode::Success) return r;
    Reply reply;
    r = await(Step::Greeting, reply);
    if (r != ResultCode::Success) return r;
    greeted_ = accepted(Step::Greeting, reply);
    if (!greeted_) return ResultCode::IncorrectResponse;

    std::string domain;
    r = heloDomain(from, domain);
    if (r == ResultCode::Success) r = hello(domain);
    if (r != ResultCode::Success) return r;

    if (security.mode == Security::StartTls) {
        if (!offered_.startTls) return ResultCode::StartTlsNotOffered;
        // Exactly the reply is taken, so anything behind it is seen as
        // injected and fails the handshake.
        r = command("STARTTLS\r\n", Step::StartTls, reply);
        if (r == ResultCode::Success && !accepted(Step::StartTls, reply)) r = ResultCode::IncorrectResponse;
        if (r == ResultCode::IncorrectResponse) return ResultCode::StartTlsNotOffered;
        if (r != ResultCode::Success) return r;
        r = socket_.StartTls(transport::TlsOptions{security.caFile});
        if (r != ResultCode::Success) return r;
        // What the server offered before TLS counts for nothing now.
        offered_ = {};
        r = hello(domain);
        if (r != ResultCode::Success) return r;
    }
    if (security.user.empty()) return ResultCode::Success;
    if (!socket_.IsTls() && (security.bearer || !security.allowPlainAuth)) return ResultCode::PlainAuthRefused;
    return authenticate(*this, offered_.authMechanisms, security);
}

}  // namespace smtp
