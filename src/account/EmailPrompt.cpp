#include "account/EmailPrompt.h"

#include "account/Preferences.h"
#include "platform/Alerts.h"
#include "platform/Platform.h"

namespace quillberry {

namespace {

// Start of the UTF-8 sequence that ends just before `end`.
size_t previousCharStart(const std::string& s, size_t end) {
    size_t i = end - 1;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80 && end - i < 4) --i;
    return i;
}

}  // namespace

// The Unicode space separators (category Zs) and the tab, spelled out rather than asked of a
// locale: the set is small and fixed. With line breaks, also LF, VT, FF, CR, NEL and the line
// and paragraph separators.
size_t blankAt(const std::string& text, size_t at, bool lineBreaks) {
    auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned b0 = byte(at), b1 = byte(at + 1), b2 = byte(at + 2);
    if (b0 == 0x09 || b0 == 0x20 || (lineBreaks && b0 >= 0x0A && b0 <= 0x0D)) return 1;
    if (b0 == 0xC2 && (b1 == 0xA0 || (lineBreaks && b1 == 0x85))) return 2;                // U+00A0, U+0085
    if (b0 == 0xE1 && b1 == 0x9A && b2 == 0x80) return 3;                                  // U+1680
    if (b0 == 0xE2 && b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xAF)) return 3;  // U+2000-200A, U+202F
    if (lineBreaks && b0 == 0xE2 && b1 == 0x80 && (b2 == 0xA8 || b2 == 0xA9)) return 3;    // U+2028, U+2029
    if (b0 == 0xE2 && b1 == 0x81 && b2 == 0x9F) return 3;                                  // U+205F
    if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) return 3;                                  // U+3000
    return 0;
}

std::optional<std::string> validatedEmail(const std::string& raw) {
    size_t begin = 0, end = raw.size();
    while (begin < end) {
        size_t n = blankAt(raw, begin, false);
        if (n == 0) break;
        begin += n;
    }
    while (end > begin) {
        size_t start = previousCharStart(raw, end);
        if (start < begin || blankAt(raw, start, false) != end - start) break;
        end = start;
    }
    std::string trimmed = raw.substr(begin, end - begin);
    if (trimmed.empty() || trimmed.find('@') == std::string::npos) return std::nullopt;
    return trimmed;
}

void showEmailWindow(const EmailCompletion& completion) {
    AlertSpec alert;
    alert.messageText = "Connexion à Quillberry";
    alert.informativeText = "Entre l'email utilisé pour ton abonnement.";
    alert.buttons = {"Continuer", "Annuler"};
    alert.textField = TextFieldAccessory{300, 24, "Email"};
    AlertAnswer answer = platform().alerts().runModal(alert);
    if (answer.response != ALERT_FIRST_BUTTON_RETURN) {
        completion(std::nullopt);
        return;
    }
    std::optional<std::string> email = validatedEmail(answer.fieldText);
    if (email) storeEmail(*email);
    completion(email);
}

void changeEmail() {
    showEmailWindow([](const std::optional<std::string>& email) {
        if (!email) return;
        AlertSpec confirmation;
        confirmation.messageText = "Email mis à jour";
        confirmation.informativeText = "Tu utilises maintenant : " + *email;
        platform().alerts().runModal(confirmation);
    });
}

void logout() {
    clearEmail();
    AlertSpec notice;
    notice.messageText = "Déconnecté";
    notice.informativeText = "Ton email a été supprimé.";
    platform().alerts().runModal(notice);
}

}  // namespace quillberry
