// How the mail opens its session with the relay: the greeting, EHLO (HELO for a relay that knows
// no EHLO), STARTTLS and the login, all that comes before the message's first command.
#include "mail/notificationmail.h"

#include "util/offthread.h"

namespace {

// The relay has answered all so far, and is told goodbye; nothing of the message goes out.
constexpr const char *NothingSent = ": nothing was sent.";

} // namespace

NotificationMail::Reply NotificationMail::OpenSession(const SmtpTexts &texts, const RelayAddress &relay)
{
    Winsock1.OpenConnection();
    Reply outcome;
    if (relay.TlsFromTheStart() && !(outcome = AwaitTls(relay)).Expected())
        return outcome;
    if (!(outcome = AwaitReply("220")).Expected())
        return outcome;
    ShowStatus("Connecting....");
    Send(texts.Ehlo);
    outcome = AwaitReply("250");
    // RFC 5321 section 4.1.4: a relay that knows no EHLO says so with 500 or 502, and HELO
    // opens the session as before EHLO was known; TLS needs EHLO.
    if (outcome.How == Awaited::OtherCode && (outcome.Code == "500" || outcome.Code == "502")) {
        if ((relay.TlsRequired() && !Tls) || !relay.User.empty())
            return {Awaited::OtherCode, outcome.Code, outcome.Text,
                    relay.Host + " knows no EHLO, and so no " + (Tls ? "login" : "STARTTLS") + NothingSent};
        Send(texts.Helo);
        return AwaitReply("250");
    }
    if (!outcome.Expected())
        return outcome;
    EhloOffer offer = OfferOf(outcome.Text);
    if (!Tls && !WithoutTls && (offer.StartTls || relay.TlsRequired()) &&
        !(outcome = GoOverToTls(texts, relay, offer)).Expected())
        return outcome;
    if (!relay.User.empty())
        return LogIn(relay, offer);
    return outcome;
}

// RFC 3207: wherever the relay offers it, and where it must, the session goes on in TLS; on port
// 25 without a login it is opportunistic (RFC 7435): any certificate will do, as among mail
// servers, and the mail is still safer from the wire than in plain text.
NotificationMail::Reply NotificationMail::GoOverToTls(const SmtpTexts &texts, const RelayAddress &relay,
                                                     EhloOffer &offer)
{
    if (!offer.StartTls)
        return {Awaited::OtherCode, {}, {},
                relay.Host + " offers no STARTTLS, and " +
                    (relay.User.empty() ? "port " + std::to_string(relay.Port) + " takes mail only inside TLS"
                                        : std::string("a login goes only inside TLS")) +
                    NothingSent};
    Send(texts.StartTls);
    Reply outcome = AwaitReply("220");
    // Where TLS is opportunistic, a relay that cannot start it now (454) takes the mail as it is.
    if (outcome.How == Awaited::OtherCode && !relay.TlsRequired())
        return {};
    if (!outcome.Expected())
        return outcome;
    // RFC 3207 section 4.2: the relay says nothing more before the handshake; what came with its
    // reply came unguarded, and could pass for its replies inside TLS.
    if (!Response.empty())
        return {Awaited::OtherCode, outcome.Code, outcome.Text,
                relay.Host + " sent more than its reply to STARTTLS, where TLS could not guard it" + NothingSent};
    if (!(outcome = AwaitTls(relay)).Expected())
        return outcome;
    // RFC 3207 section 4.2: what the relay offered before TLS counts no more.
    Send(texts.Ehlo);
    if ((outcome = AwaitReply("250")).Expected())
        offer = OfferOf(outcome.Text);
    return outcome;
}

NotificationMail::Reply NotificationMail::AwaitTls(const RelayAddress &relay)
{
    Winsock1.StartTls(relay.Host);
    const Reply outcome = AwaitUntil(ReplyLimitSeconds, [this]() -> std::optional<Reply> {
        return Tls ? std::optional(Reply{}) : std::nullopt;
    });
    TlsFailed = !outcome.Expected() && outcome.How != Awaited::ProgramEnding;
    return outcome;
}

// RFC 4954: PLAIN where it is offered, else LOGIN; only to a relay whose certificate the system
// trusts for its name, since the password goes with it.
NotificationMail::Reply NotificationMail::LogIn(const RelayAddress &relay, const EhloOffer &offer)
{
    if (!Tls->Trusted)
        return {Awaited::OtherCode, {}, {},
                "The certificate of " + relay.Host + " is not trusted (" + Tls->Problem + "; issued by " +
                    Tls->Issuer + "), so the password was not sent" + NothingSent};
    if (!offer.AuthPlain && !offer.AuthLogin)
        return {Awaited::OtherCode, {}, {}, relay.Host + " offers no login this program speaks (PLAIN, LOGIN)" + NothingSent};
    std::string failure;
    const std::optional<std::string> password = LookUpPassword(relay, failure);
    if (!password)
        return {Awaited::OtherCode, {}, {}, failure + NothingSent};
    Reply outcome;
    if (offer.AuthPlain) {
        Send("AUTH PLAIN " + Base64(std::string(1, '\0') + relay.User + '\0' + *password) + "\r\n");
    } else {
        Send("AUTH LOGIN\r\n");
        if (!(outcome = AwaitReply("334")).Expected())
            return outcome;
        Send(Base64(relay.User) + "\r\n");
        if (!(outcome = AwaitReply("334")).Expected())
            return outcome;
        Send(Base64(*password) + "\r\n");
    }
    outcome = AwaitReply("235");
    if (outcome.How == Awaited::OtherCode)
        outcome.Failure = relay.Host + " refused the login of " + relay.User + ": " + outcome.Text;
    return outcome;
}

// The store may have a keyring to unlock, or never answer: it is asked off the window's thread,
// for as long as a reply may take.
std::optional<std::string> NotificationMail::LookUpPassword(const RelayAddress &relay, std::string &failure)
{
    struct Found {
        std::optional<std::string> Password;
        std::string Failure;
    };
    const std::optional<Found> found = RunOffThread(
        Platform.Background, static_cast<int32_t>(ReplyLimitSeconds * 1000), {Platform.Ticks, Platform.Wait, Platform.Pump},
        [store = Platform.Credentials, account = relay.Account()] {
            Found found;
            found.Password = store->Password(account, found.Failure);
            return found;
        },
        Found{std::nullopt, "The last question to the credential store has not been answered"});
    if (!found)
        failure = "The credential store did not answer within " + std::to_string(int(ReplyLimitSeconds)) +
                  " seconds (a keyring that waits to be unlocked?)";
    else if (!found->Password && found->Failure.empty())
        failure = "No password is kept for " + relay.Account() +
                  "; store one with tarvik-broker-servicecheck --set-relay-password " + relay.Account();
    else
        failure = found->Failure;
    return found ? found->Password : std::nullopt;
}
