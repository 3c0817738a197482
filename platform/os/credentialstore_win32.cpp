#include "platform/os/credentialstore_win32.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

#include <wincred.h>

#include <memory>

namespace {

std::wstring TargetOf(const std::string &account)
{
    return WideFromUtf8("tarvik-broker-servicecheck:" + account);
}

struct CredentialDeleter {
    void operator()(CREDENTIALW *credential) const { CredFree(credential); }
};

} // namespace

std::optional<std::string> CredentialManagerStore::Password(const std::string &account, std::string &failure)
{
    CREDENTIALW *raw = nullptr;
    if (!CredReadW(TargetOf(account).c_str(), CRED_TYPE_GENERIC, 0, &raw)) {
        if (GetLastError() != ERROR_NOT_FOUND)
            failure = "The Credential Manager could not be read: " + SystemText(GetLastError());
        return std::nullopt;
    }
    const std::unique_ptr<CREDENTIALW, CredentialDeleter> credential(raw);
    // cmdkey keeps the password as UTF-16, and so does StorePassword.
    return Utf8FromWide(std::wstring(reinterpret_cast<const wchar_t *>(credential->CredentialBlob),
                                     credential->CredentialBlobSize / sizeof(wchar_t)));
}

std::optional<std::string> CredentialManagerStore::StorePassword(const std::string &account, const std::string &password)
{
    std::wstring target = TargetOf(account), user = WideFromUtf8(account.substr(0, account.rfind('@')));
    std::wstring blob = WideFromUtf8(password);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    credential.CredentialBlob = reinterpret_cast<BYTE *>(blob.data());
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size() * sizeof(wchar_t));
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    const bool stored = CredWriteW(&credential, 0);
    SecureZeroMemory(blob.data(), blob.size() * sizeof(wchar_t));
    if (!stored)
        return "The Credential Manager could not store it: " + SystemText(GetLastError());
    return std::nullopt;
}
