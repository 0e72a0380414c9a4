#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "BuiltinImprover.h"
#include "Improver.h"

namespace quillberry::service {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

// Calls `visit` with each whole word of the lower-cased text, split on anything that is not
// a letter (ASCII letters and the bytes of multi-byte UTF-8 characters count as letters). One
// word at a time: a long request of short words never becomes a list of them.
template <typename Visit>
void forEachWord(std::string_view text, Visit visit) {
    auto letter = [](unsigned char c) { return std::isalpha(c) || c >= 0x80 || c == '\''; };
    for (std::size_t at = 0; at < text.size();) {
        if (!letter(static_cast<unsigned char>(text[at]))) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && letter(static_cast<unsigned char>(text[end]))) ++end;
        visit(lower(text.substr(at, end - at)));
        at = end;
    }
}

bool hasAny(const std::string& haystack, std::initializer_list<std::string_view> needles) {
    return std::any_of(needles.begin(), needles.end(),
                       [&](std::string_view n) { return haystack.find(n) != std::string::npos; });
}

}  // namespace

RequestKind classifyRequest(const std::string& request) {
    const std::string t = lower(request);
    if (hasAny(t, {"mail", "courriel", "lettre", "letter", "message"})) return RequestKind::Mail;
    if (hasAny(t, {"code", "fonction", "function", "python", "javascript", "c++", "sql", "bug", "script", "programme",
                   "program", "api", "regex"}))
        return RequestKind::Code;
    if (hasAny(t, {"résum", "resum", "summar", "synthè", "synthe"})) return RequestKind::Summary;
    if (hasAny(t, {"tradui", "translat"})) return RequestKind::Translation;
    if (hasAny(t, {"poème", "poeme", "poem", "histoire", "story", "chanson", "song", "slogan"}))
        return RequestKind::Creative;
    if (hasAny(t, {"explique", "explain", "comment ", "how ", "pourquoi", "why", "qu'est-ce", "what is"}))
        return RequestKind::Explanation;
    return RequestKind::Generic;
}

namespace {

struct Kind {
    std::string_view domainFr, domainEn, formatFr, formatEn;
};

// The role and the expected output of each kind of request.
Kind describe(RequestKind kind) {
    switch (kind) {
        case RequestKind::Mail:
            return {"la rédaction professionnelle", "professional writing",
                    "le texte final prêt à envoyer, avec un objet, une formule d'appel et une formule de politesse",
                    "the final text ready to send, with a subject line, a greeting and a sign-off"};
        case RequestKind::Code:
            return {"le développement logiciel", "software development",
                    "le code complet dans un bloc de code, suivi d'une courte explication des choix faits",
                    "the complete code in a code block, followed by a short explanation of the choices made"};
        case RequestKind::Summary:
            return {"la synthèse de documents", "summarising documents",
                    "une synthèse en points clés, puis une conclusion de deux phrases",
                    "a summary as key points, then a two-sentence conclusion"};
        case RequestKind::Translation:
            return {"la traduction", "translation", "la traduction seule, fidèle au ton de l'original",
                    "the translation alone, faithful to the tone of the original"};
        case RequestKind::Creative:
            return {"l'écriture créative", "creative writing", "le texte créatif seul, soigné et prêt à être partagé",
                    "the creative text alone, polished and ready to share"};
        case RequestKind::Explanation:
            return {"la pédagogie et la vulgarisation", "teaching and clear explanation",
                    "une explication progressive avec des titres courts et un exemple concret",
                    "a step-by-step explanation with short headings and a concrete example"};
        case RequestKind::Generic:
            break;
    }
    return {"le sujet de la demande", "the subject of the request",
            "une réponse structurée avec des titres courts et des listes à puces lorsque c'est utile",
            "a structured answer with short headings and bullet lists where they help"};
}

std::string trimmed(const std::string& text) {
    const char* space = " \t\r\n\v\f";
    size_t begin = text.find_first_not_of(space);
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(space);
    return text.substr(begin, end - begin + 1);
}

}  // namespace

Language detectLanguage(const std::string& text) {
    static constexpr std::array<std::string_view, 36> FRENCH = {
        "le",   "la",   "les",  "un",  "une", "des", "du",    "de",   "et",   "est", "pour", "avec",
        "dans", "sur",  "que",  "qui", "mon", "ma",  "mes",   "ton",  "ta",   "tes", "je",   "tu",
        "il",   "nous", "vous", "pas", "au",  "aux", "écris", "fais", "peux", "moi", "ce",   "cette"};
    static constexpr std::array<std::string_view, 34> ENGLISH = {
        "the", "a",    "an",     "and", "is",   "are",   "for",  "with", "in", "on",    "that", "which",
        "my",  "your", "i",      "you", "it",   "we",    "not",  "to",   "of", "write", "make", "can",
        "me",  "this", "please", "how", "what", "about", "from", "be",   "do", "give"};
    int fr = 0, en = 0;
    forEachWord(text, [&](const std::string& w) {
        if (std::find(FRENCH.begin(), FRENCH.end(), w) != FRENCH.end()) ++fr;
        if (std::find(ENGLISH.begin(), ENGLISH.end(), w) != ENGLISH.end()) ++en;
    });
    // Accented letters lean French.
    for (std::string_view accent : {"é", "è", "ê", "à", "ç", "ù", "ô", "î"}) {
        if (text.find(accent) != std::string::npos) fr += 2;
    }
    return en > fr ? Language::English : Language::French;
}

namespace {

// One language's wording of the structured prompt; the request sits between the context and
// the task, and the kind of request fills in the role and the expected output.
struct Phrasing {
    std::string_view rolePrefix, roleSuffix, context, task, constraints, formatLabel, ask;
};

constexpr Phrasing FRENCH_PHRASING{
    "Rôle : tu es un assistant expert, spécialisé dans ",
    ", rigoureux, précis et attentif aux détails.",
    "Contexte : voici ma demande, telle que je l'ai formulée :",
    "Tâche : réponds à cette demande de façon complète, en tenant compte de chacun de ses éléments.",
    "Contraintes :\n"
    "- respecte tout ce que la demande précise (sujet, destinataire, ton, longueur, détails) ;\n"
    "- n'invente aucun fait ; signale clairement toute hypothèse ;\n"
    "- écris en français, dans un style clair et direct, sans remplissage.",
    "Format attendu : ",
    "S'il te manque une information importante pour bien répondre, pose-moi d'abord tes questions "
    "avant de commencer."};

constexpr Phrasing ENGLISH_PHRASING{
    "Role: you are an expert in ",
    ", rigorous, precise and attentive to detail.",
    "Context: here is my request, as I wrote it:",
    "Task: fulfil this request completely, taking every one of its elements into account.",
    "Constraints:\n"
    "- respect everything the request specifies (subject, audience, tone, length, details);\n"
    "- do not invent facts; state any assumption clearly;\n"
    "- write in English, in a clear and direct style, without filler.",
    "Expected output: ",
    "If any important information is missing, ask me your questions first before you start."};

}  // namespace

std::optional<std::string> BuiltinImprover::improve(const std::string& prompt) {
    const std::string request = trimmed(prompt);
    if (request.empty()) return std::string();
    const Kind kind = describe(classifyRequest(request));
    const bool french = detectLanguage(request) == Language::French;
    const Phrasing& p = french ? FRENCH_PHRASING : ENGLISH_PHRASING;
    std::string out;
    out.append(p.rolePrefix).append(french ? kind.domainFr : kind.domainEn).append(p.roleSuffix).append("\n\n");
    out.append(p.context).append("\n\"\"\"\n").append(request).append("\n\"\"\"\n\n");
    out.append(p.task).append("\n\n");
    out.append(p.constraints).append("\n\n");
    out.append(p.formatLabel).append(french ? kind.formatFr : kind.formatEn).append(".\n\n");
    out.append(p.ask);
    return out;
}

}  // namespace quillberry::service
