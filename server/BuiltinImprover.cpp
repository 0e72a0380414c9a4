#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

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

// The ASCII letters a French or English word folds to, for the two bytes of a Latin letter
// in UTF-8 (lead byte 0xC3 or 0xC5), or empty when the character is not one of those letters.
std::string_view foldLatin(unsigned char lead, unsigned char next) {
    if (lead == 0xC5) {
        if (next == 0x92 || next == 0x93) return "oe";  // Œ œ
        if (next == 0xB8) return "y";                   // Ÿ
        return {};
    }
    if (lead != 0xC3 || next < 0x80 || next > 0xBF) return {};
    // U+00C0..U+00FF; capitals and small letters share their last five bits' pattern, 0x20 apart.
    static constexpr std::array<std::string_view, 32> LETTERS = {"a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e",
                                                                 "e", "i", "i", "i", "i", {},  "n",  "o", "o", "o", "o",
                                                                 "o", {},  {},  "u", "u", "u", "u",  "y", {},  {}};
    if (next == 0xBF) return "y";  // ÿ, where the capitals' row has ß
    return LETTERS[(next - 0x80u) & 0x1Fu];
}

// Calls `visit` with each word of the request in lower-case ASCII letters and digits, accents
// folded away, until it returns false; anything else separates words, so "qu'est-ce" is three
// words and "photosynthèse" stays one. '+' and '#' stay inside a word that starts with a
// letter, for "c++" and "c#". One word at a time, as for the language.
template <typename Visit>
void forEachFoldedWord(std::string_view text, Visit visit) {
    std::string word;
    auto flush = [&] {
        if (word.empty()) return true;
        const bool more = visit(std::move(word));
        word.clear();
        return more;
    };
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        std::string_view folded;
        if (std::isalnum(c)) {
            word += char(std::tolower(c));
        } else if ((c == '+' || c == '#') && !word.empty() && std::isalpha(static_cast<unsigned char>(word[0]))) {
            word += char(c);
        } else if (c >= 0x80 && at + 1 < text.size() &&
                   !(folded = foldLatin(c, static_cast<unsigned char>(text[at + 1]))).empty()) {
            word += folded;
            ++at;
        } else if (!flush()) {
            return;
        }
    }
    flush();
}

enum class Strength {
    Strong,  // names the task or its material: decides wherever it stands
    Lead,    // a question word: counts only as the request's first word, when nothing names a kind
};
enum class Only { Any, NotEnglish };

// Cues for one kind, separated by '|'. A cue is folded words in a row; a last word ending in
// '*' is a word start, a word starting with '*' a word end ("TypeError").
struct Cues {
    RequestKind kind;
    std::string_view alternatives;
    Strength strength = Strength::Strong;
    Only only = Only::Any;
};

// Words that mean one kind of help and little else. Words as often meant otherwise
// ("programme" d'entraînement, "en fonction de", "the function of the liver") stay out: a
// wrong specialty is worse than the generic role.
constexpr Cues CUES[] = {
    {RequestKind::Mail, "mail*|email*|courriel*|lettre|lettres|letter|message|messages"},
    {RequestKind::Code,
     "code|coder|bug|bugs|debug*|script|scripts|python|javascript|typescript|java|c++|c#|php|sql|bash|html|css|json|"
     "csv|xml|yaml|api|regex*|git|github|commit|docker*|compile|compiler|refactor*|parse|parses|parser|parsing|"
     "programming|programmation|*error|*exception"},
    {RequestKind::Summary, "resum*", Strength::Strong, Only::NotEnglish},  // English "resume" is a CV
    {RequestKind::Summary, "summar*|synthes*|synthetis*|sum up|tl dr|tldr|takeaway*|recap*|condense"},
    {RequestKind::Translation,
     "tradu*|translat*|comment on dit|comment dit on|comment dire|how do you say|how to say|how do i say|en anglais|"
     "en francais|en espagnol|en allemand|en italien|en portugais|into english|into french|into spanish|into german|"
     "into italian|into portuguese"},
    {RequestKind::Creative,
     "poem*|poeme*|poesie|poetry|haiku*|limerick*|sonnet*|histoire|histoires|story|stories|conte|contes|chanson*|"
     "song|songs|paroles|lyrics|slogan*"},
    {RequestKind::Explanation, "expli*|explain*|explanation*|eli5|vulgaris*"},
    {RequestKind::Explanation, "comment|pourquoi|c est quoi|qu est ce|how|why|what is|what are|what s", Strength::Lead},
};

// Courtesies and asides before the request proper, skipped to find its first word.
constexpr std::array<std::string_view, 24> FILLERS = {
    "peux", "tu",    "pourrais", "pourriez", "vous",   "stp", "svp",  "dis", "moi", "me",    "m",     "salut",
    "can",  "could", "would",    "you",      "please", "pls", "tell", "hey", "hi",  "hello", "quick", "rapide"};

bool wordMatches(std::string_view word, std::string_view cue) {
    if (cue.size() > 1 && cue.back() == '*') return word.starts_with(cue.substr(0, cue.size() - 1));
    if (cue.size() > 1 && cue.front() == '*')
        return word.size() >= cue.size() && word.ends_with(cue.substr(1));  // a word end, not the word alone
    return word == cue;
}

// Whether `cue` matches the words from the first one on.
bool matchesAt(std::span<const std::string> words, std::string_view cue) {
    for (std::size_t end = 0, at = 0; end != std::string_view::npos; at++) {
        end = cue.find(' ');
        if (at >= words.size() || !wordMatches(words[at], cue.substr(0, end))) return false;
        if (end != std::string_view::npos) cue.remove_prefix(end + 1);
    }
    return true;
}

// The number of words in the longest cue: how far the classifier looks ahead of a word.
constexpr std::size_t longestCue() {
    std::size_t longest = 0;
    for (const Cues& cues : CUES) {
        std::size_t words = 1;
        for (char c : cues.alternatives) {
            if (c == ' ') ++words;
            if (c == '|') words = 1;
            longest = std::max(longest, words);
        }
    }
    return longest;
}

constexpr std::size_t NOT_A_LETTER = 26;

std::size_t bucketOf(char c) { return c >= 'a' && c <= 'z' ? std::size_t(c - 'a') : NOT_A_LETTER; }

struct Alternative {
    const Cues* cues;
    std::string_view words;
};

// Every cue, filed by the first letter of its first word (a word end, by none), so that each
// word of a long request meets only the few cues it could start.
const std::array<std::vector<Alternative>, NOT_A_LETTER + 1>& alternativesByLetter() {
    static const auto byLetter = [] {
        std::array<std::vector<Alternative>, NOT_A_LETTER + 1> table;
        for (const Cues& cues : CUES) {
            for (std::string_view rest = cues.alternatives; !rest.empty();) {
                const std::size_t bar = std::min(rest.find('|'), rest.size());
                table[bucketOf(rest[0])].push_back({&cues, rest.substr(0, bar)});
                rest.remove_prefix(std::min(bar + 1, rest.size()));
            }
        }
        return table;
    }();
    return byLetter;
}

// The kind the cues of `strength` name from the first of `words` on, if any.
std::optional<RequestKind> kindAt(std::span<const std::string> words, Strength strength, bool english) {
    const auto& byLetter = alternativesByLetter();
    for (std::size_t bucket : {bucketOf(words[0][0]), NOT_A_LETTER}) {
        for (const Alternative& alternative : byLetter[bucket]) {
            const Cues& cues = *alternative.cues;
            if (cues.strength != strength || (english && cues.only == Only::NotEnglish)) continue;
            if (matchesAt(words, alternative.words)) return cues.kind;
        }
    }
    return std::nullopt;
}

}  // namespace

// The first cue that names a kind decides: a request leads with its task ("résume ce mail",
// "translate this email") and names its material after it. Question words decide only
// when nothing more specific is named; with no cue at all, the generic role. The words pass
// through a window as long as the longest cue, so a long request is never held as a list.
RequestKind classifyRequest(const std::string& request) {
    const bool english = detectLanguage(request) == Language::English;
    std::array<std::string, longestCue()> window;
    std::size_t held = 0;
    std::optional<RequestKind> named, asked;
    bool leadSeen = false;
    // Looks for cues from the window's first word on, then lets that word go.
    auto examineFirst = [&] {
        const std::span<const std::string> words(window.data(), held);
        if (!leadSeen && std::find(FILLERS.begin(), FILLERS.end(), words[0]) == FILLERS.end()) {
            leadSeen = true;
            asked = kindAt(words, Strength::Lead, english);
        }
        named = kindAt(words, Strength::Strong, english);
        std::move(window.begin() + 1, window.begin() + long(held), window.begin());
        --held;
        return !named;
    };
    forEachFoldedWord(request, [&](std::string word) {
        window[held++] = std::move(word);
        return held < window.size() || examineFirst();
    });
    while (!named && held > 0) examineFirst();
    return named.value_or(asked.value_or(RequestKind::Generic));
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
