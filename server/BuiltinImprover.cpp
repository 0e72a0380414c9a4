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
    Verb,      // asks for the task itself ("traduis", "summarize"): among a short request's first words, it
               // decides over the material named before it ("ce mail… tu peux le traduire ?")
    Strong,    // names the task or its material: the first one decides, wherever it stands
    Weak,      // leans to a kind without naming a task ("write to", "understand"): decides when nothing is named
    Question,  // a question's opening: counts only as the request's first words, when nothing is named
    Support,   // what a question asks about ("… work", "… mean"): counts only after a question's opening
};
enum class Only { Any, NotEnglish };

// Cues for one kind, separated by '|'. A cue is folded words in a row; a last word ending in
// '*' is a word start, a word starting with '*' a word end ("TypeError"), and "@lang" any
// language's name.
struct Cues {
    RequestKind kind;
    std::string_view alternatives;
    Strength strength = Strength::Strong;
    Only only = Only::Any;
};

// Words that mean one kind of help and little else: verbs and nouns a French or English speaker
// uses for that task. Words as often meant otherwise ("programme" d'entraînement, "en fonction
// de", "the function of the liver", "une nouvelle voiture", "commit to", "compile a list", "how
// should I react", "the app's algorithm") stay out, and the usual phrases
// that hold a cue without asking for its kind come first and name none ("code postal"): a wrong
// specialty is worse than the generic role. At one place, the first cue listed wins.
constexpr Cues CUES[] = {
    {RequestKind::Translation, "traduis|traduire|traduisez|translate", Strength::Verb},
    {RequestKind::Summary, "resume|resumer|resumez", Strength::Verb, Only::NotEnglish},
    {RequestKind::Summary, "summarize|summarise|sum up|recap|synthetise|synthetiser|condense|condenser",
     Strength::Verb},
    {RequestKind::Explanation, "explique|expliquer|expliquez|explain", Strength::Verb},
    {RequestKind::Code, "debug|debugger|deboguer|debogue|refactor|refactoriser", Strength::Verb},
    {RequestKind::Generic,
     "code postal|code promo|code de la route|code du travail|code civil|code couleur|dress code|zip code|postal code|"
     "promo code|discount code|french toast|plain english|simple english|a follow up question*|"
     "follow up question*|note to self|text to speech"},
    {RequestKind::Mail,
     "mail*|email*|courriel*|courrier*|lettre|lettres|letter|letters|message|messages|sms|texto*|newsletter*|petit mot|"
     "mot d excuse|ecris un mot|ecrire un mot|redige un mot|a note to|a quick note|a short note|a follow up|"
     "the follow up|follow up with|une relance|de relance|relance polie|relancer un client|relancer le client|"
     "redige une reponse|ecris une reponse|write a reply|draft a reply|out of office|"
     "auto reply|autoreply|automatic reply|reponse automatique|thank you note"},
    {RequestKind::Code,
     "code|codes|coder|coding|codage|bug|bugs|bogue*|debug*|script|scripts|python|javascript|js|typescript|java|"
     "kotlin|golang|php|perl|c++|c#|csharp|haskell|sql|mysql|postgres*|sqlite|mongodb|database|base de donnees|bash|"
     "zsh|powershell|html|css|json|csv|xml|yaml|api|apis|endpoint*|regex*|regexp|git|github|gitlab|commit message|"
     "docker*|kubernetes|compiler|refactor*|parse|parses|parser|parsing|programming|programmation|developpeur*|npm|"
     "pip|nodejs|node js|reactjs|react native|react component*|composant react|django|flask|jquery|frontend|backend|"
     "stack trace|stacktrace|traceback|segfault|segmentation fault|localhost|sudo|ligne de commande|command line|"
     "unit test*|test unitaire*|tests unitaires|boucle for|boucle while|for loop|while loop|select from|insert into|"
     "delete from|create table|group by|inner join|left join|formule excel|"
     "excel formula|vba|arduino|*error|*exception|debogu*|react app|react apps|app react|application react|"
     "react hook*|usestate|useeffect|undefined|is not a function|is not defined|null pointer|syntax error|"
     "erreur de syntaxe|erreur de compilation|compilation error|permission denied|command not found|"
     "module not found|no such file|browser console|console du navigateur|console de mon navigateur|devtools|"
     "dev tools"},
    {RequestKind::Summary, "resum*", Strength::Strong, Only::NotEnglish},  // English "resume" is a CV
    {RequestKind::Summary,
     "summar*|synthes*|synthetis*|sum up|sums up|tl dr|tldr|takeaway*|recap*|condense|gist|in a nutshell|en bref|"
     "compte rendu|comptes rendus|meeting minutes|main points of|key points of|points cles de|"
     "points principaux de|grandes lignes de|grandes lignes du|idees principales de|main ideas of|boil down|"
     "boil this down|boil it down|shorten|l essentiel de|l essentiel du|l essentiel des|short version|"
     "shorter version|version courte|version abregee|en resume"},
    {RequestKind::Translation,
     "tradu*|translat*|comment on dit|comment dit on|comment dire|comment ca se dit|ca se dit comment|how do you say|"
     "how to say|how do i say|how would you say|en @lang|in @lang|into @lang|to @lang|version @lang|@lang version"},
    {RequestKind::Creative,
     "poem*|poeme*|poesie|poetry|haiku*|limerick*|sonnet*|acrostic*|acrostiche*|rhyme*|rime|rimes|histoire|histoires|"
     "story|stories|conte|contes|fable|fables|recit|recits|fanfic*|chanson*|song|songs|paroles|lyrics|couplet|refrain|"
     "chorus|rap|slogan*|tagline*|catchphrase|blague*|joke|jokes|devinette*|riddle*|toast|toasts|discours|speech|"
     "speeches|eulogy|vows|birthday card|greeting card|christmas card|carte d anniversaire|carte de voeux|"
     "ecris une nouvelle|ecrire une nouvelle|redige une nouvelle|novel|novels|novella"},
    {RequestKind::Creative, "roman|romans", Strength::Strong, Only::NotEnglish},  // English "Roman" is of Rome
    {RequestKind::Explanation,
     "expli*|explain*|explanation*|eli5|vulgaris*|difference between|differences between|difference entre|"
     "differences entre|in simple terms|en termes simples|en mots simples|like i m five|like im five|"
     "comme si j avais|teach me|apprends moi|help me understand|aide moi a comprendre|fais moi comprendre|"
     "definition|definitions|define|definis|signification"},
    {RequestKind::Mail, "ecris a|ecrire a|ecris au|ecrire au|write to", Strength::Weak},
    {RequestKind::Explanation, "comprend*|understand*", Strength::Weak},
    {RequestKind::Creative,
     "imagine un|imagine une|imagine le|imagine la|imagine les|imagine des|imagine a|imagine an|imagine the|"
     "invente un|invente une|invente des|invent a|make up a",
     Strength::Weak},
    // A question about how or why the world is as it is, unless the next words make it about
    // the asker or a request for advice.
    {RequestKind::Explanation,
     "why do we|why are we|why did we|why do people|why do|why does|why did|why is|why are|why was|why were|why can|"
     "why can t|why don t|why doesn t|why isn t|why aren t|why would|how come|how do|how does|how did|what is|what are|"
     "what s|what was|what were|what does|what causes|what makes|what happens|pourquoi le|pourquoi la|pourquoi les|"
     "pourquoi l|pourquoi un|pourquoi une|pourquoi des|pourquoi on|pourquoi il|pourquoi ils|pourquoi elle|"
     "pourquoi elles|pourquoi est ce|pourquoi y|pourquoi certains|pourquoi certaines|comment se fait|qu est ce qu un|"
     "qu est ce qu une|qu est ce que l|qu est ce que le|qu est ce que la|qu est ce que les|c est quoi un|"
     "c est quoi une|c est quoi l|c est quoi le|c est quoi la|c est quoi les|a quoi sert|a quoi servent",
     Strength::Question},
    // A question word alone names no kind.
    {RequestKind::Generic,
     "comment|pourquoi|how|why|what|whats|which|quel|quelle|quels|quelles|que|qu est ce|c est quoi|est ce que|a quoi|"
     "is|are|does",
     Strength::Question},
    {RequestKind::Explanation,
     "works|fonctionne*|marche|marchent|made of|fait de|faits de|compose de|composes de|mean|means|meaning|"
     "signifie*|veut dire|veulent dire|purpose|point of|cause|causes|happen|happens|exist|exists|existe|"
     "existent|origin|origins|origine*|sert|servent|used for|measure|measures|mesure|mesurent|stand for|stands for|"
     // French inversion, a question's formal shape ("comment les abeilles font-elles…")
     "t il|t elle|t ils|t elles|*ent ils|*ent elles|*ont ils|*ont elles",
     Strength::Support},
};

// Language names, for "en japonais", "into Portuguese", and the adjectives of "la version anglaise".
constexpr std::array<std::string_view, 67> LANGUAGES = {
    "anglais",  "francais",  "espagnol",   "allemand",  "italien",   "portugais",  "neerlandais",  "japonais",
    "chinois",  "mandarin",  "coreen",     "arabe",     "russe",     "polonais",   "turc",         "grec",
    "hebreu",   "hindi",     "suedois",    "norvegien", "danois",    "finnois",    "roumain",      "ukrainien",
    "english",  "french",    "spanish",    "german",    "italian",   "portuguese", "dutch",        "japanese",
    "chinese",  "korean",    "arabic",     "russian",   "polish",    "turkish",    "greek",        "hebrew",
    "swedish",  "norwegian", "danish",     "finnish",   "romanian",  "ukrainian",  "vietnamese",   "latin",
    "anglaise", "francaise", "espagnole",  "allemande", "italienne", "portugaise", "neerlandaise", "japonaise",
    "chinoise", "coreenne",  "polonaise",  "turque",    "grecque",   "suedoise",   "norvegienne",  "danoise",
    "finnoise", "roumaine",  "ukrainienne"};

// Words right after a question's opening that make it about the asker ("why do I…", "pourquoi
// mon…") or a request for advice ("what's a good…", "what is the best…"), not about the world.
constexpr std::array<std::string_view, 44> NOT_ABOUT_THE_WORLD = {
    "my",    "mine", "i",      "me",       "you",       "your",      "we",         "our",   "us",       "one",  "mon",
    "ma",    "mes",  "je",     "j",        "moi",       "tu",        "ton",        "ta",    "tes",      "vous", "votre",
    "vos",   "nous", "notre",  "nos",      "good",      "best",      "better",     "great", "nice",     "some", "bon",
    "bonne", "bons", "bonnes", "meilleur", "meilleure", "meilleurs", "meilleures", "mieux", "quelques", "cool", "top"};

// Words after which a verb is not the request's own: a purpose, a clause, its subject or an
// article ("un mail pour expliquer…", "a letter that explains…", "où j'explique…", "un résumé").
constexpr std::array<std::string_view, 30> NOT_BEFORE_A_VERB = {
    "pour", "afin", "qui", "que", "qu",   "de",    "d",   "et",  "ou", "j", "je", "on",   "il", "elle", "ils",
    "nous", "un",   "une", "to",  "that", "which", "who", "and", "or", "i", "we", "they", "an", "the",  "she"};

// How far into a request its own verb is looked for: past that, a verb is more likely in the
// material quoted than the request's.
constexpr std::size_t VERB_REACH = 24;

// How many words after a question's opening are read to tell what it is about.
constexpr std::size_t AFTER_OPENING = 2;

// Courtesies and asides before the request proper, skipped to find its first word.
constexpr std::array<std::string_view, 30> FILLERS = {
    "peux",   "tu",    "pourrais", "pourriez", "vous", "stp",   "svp", "dis",   "moi",    "me",
    "m",      "salut", "bonjour",  "alors",    "ok",   "okay",  "can", "could", "would",  "you",
    "please", "pls",   "tell",     "hey",      "hi",   "hello", "so",  "quick", "rapide", "question"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& list, std::string_view word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

bool wordMatches(std::string_view word, std::string_view cue) {
    if (cue == "@lang") return among(LANGUAGES, word);
    if (cue.size() > 1 && cue.back() == '*') return word.starts_with(cue.substr(0, cue.size() - 1));
    if (cue.size() > 1 && cue.front() == '*')
        return word.size() >= cue.size() && word.ends_with(cue.substr(1));  // a word end, not the word alone
    return word == cue;
}

// The number of words `cue` matches from the first of `words` on, or 0.
std::size_t matchesAt(std::span<const std::string> words, std::string_view cue) {
    std::size_t at = 0;
    for (std::size_t end = 0; end != std::string_view::npos; at++) {
        end = cue.find(' ');
        if (at >= words.size() || !wordMatches(words[at], cue.substr(0, end))) return 0;
        if (end != std::string_view::npos) cue.remove_prefix(end + 1);
    }
    return at;
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
constexpr std::size_t LETTERS = NOT_A_LETTER + 1;
constexpr std::size_t ANY_WORD = LETTERS * LETTERS;  // the bucket of word ends, which every word meets

std::size_t letterOf(std::string_view word, std::size_t at) {
    const char c = at < word.size() ? word[at] : ' ';
    return c >= 'a' && c <= 'z' ? std::size_t(c - 'a') : NOT_A_LETTER;
}

// A word's bucket: its first two letters.
std::size_t bucketOf(std::string_view word) { return letterOf(word, 0) * LETTERS + letterOf(word, 1); }

struct Alternative {
    const Cues* cues;
    std::string_view words;
};

using CueTable = std::array<std::vector<Alternative>, ANY_WORD + 1>;

// Every cue, filed by the first two letters of its first word (a word end, by none; any
// language's name, by each name's), so that each word of a long request meets only the few
// cues it could start.
const CueTable& alternativesByLetters() {
    static const CueTable byLetters = [] {
        CueTable table;
        auto file = [&](std::string_view first, const Alternative& alternative) {
            if (first.starts_with('*')) {
                table[ANY_WORD].push_back(alternative);
            } else if (first.size() == 2 && first[1] == '*') {  // a one-letter stem: every second letter
                for (std::size_t second = 0; second < LETTERS; ++second)
                    table[letterOf(first, 0) * LETTERS + second].push_back(alternative);
            } else {
                auto& bucket = table[bucketOf(first)];
                // once, though two languages share the bucket ("anglais", "anglaise")
                if (bucket.empty() || bucket.back().words.data() != alternative.words.data())
                    bucket.push_back(alternative);
            }
        };
        for (const Cues& cues : CUES) {
            for (std::string_view rest = cues.alternatives; !rest.empty();) {
                const std::size_t bar = std::min(rest.find('|'), rest.size());
                const Alternative alternative{&cues, rest.substr(0, bar)};
                const std::string_view first = alternative.words.substr(0, alternative.words.find(' '));
                if (first == "@lang") {
                    for (std::string_view language : LANGUAGES) file(language, alternative);
                } else {
                    file(first, alternative);
                }
                rest.remove_prefix(std::min(bar + 1, rest.size()));
            }
        }
        return table;
    }();
    return byLetters;
}

// What a request's cues say so far, read from one word to the next.
struct Reading {
    bool english = false;
    bool openingSeen = false;
    std::optional<RequestKind> named, verb, leaning, asked;
    bool question = false, supported = false;
    std::size_t position = 0;
    bool verbMayFollow = true;

    // Whether more words can still change the answer.
    bool open() const { return !verb && !(named && position >= VERB_REACH); }

    // Meets the cues that start at the first of `words`.
    void examine(std::span<const std::string> words) {
        const bool opening = !openingSeen && !among(FILLERS, words[0]);
        openingSeen = openingSeen || opening;
        const bool verbHere = verbMayFollow && position < VERB_REACH;
        verbMayFollow = position < VERB_REACH && !among(NOT_BEFORE_A_VERB, words[0]);
        ++position;
        const CueTable& byLetters = alternativesByLetters();
        for (std::size_t bucket : {bucketOf(words[0]), ANY_WORD}) {
            for (const Alternative& alternative : byLetters[bucket]) {
                const Cues& cues = *alternative.cues;
                if (english && cues.only == Only::NotEnglish) continue;
                if (cues.strength == Strength::Question && !opening) continue;
                const std::size_t length = matchesAt(words, alternative.words);
                if (length == 0) continue;
                switch (cues.strength) {
                    case Strength::Verb:
                        if (verbHere) verb = cues.kind;
                        if (!named) named = cues.kind;
                        return;
                    case Strength::Strong:
                        if (!named) named = cues.kind;
                        return;
                    case Strength::Weak:
                        if (!leaning) leaning = cues.kind;
                        break;
                    case Strength::Question:
                        question = true;
                        if (!asked && cues.kind != RequestKind::Generic && aboutTheWorld(words.subspan(length)))
                            asked = cues.kind;
                        break;
                    case Strength::Support:
                        supported = true;
                        break;
                }
            }
        }
    }

    static bool aboutTheWorld(std::span<const std::string> next) {
        next = next.first(std::min(next.size(), AFTER_OPENING));
        return std::none_of(next.begin(), next.end(),
                            [](const std::string& w) { return among(NOT_ABOUT_THE_WORLD, w); });
    }
};

// Whether the request holds code itself: operators prose does not use, or a call or an index
// written against a name ("f()", "print(l[i])", "add(a, b)"); "ami(e)s" and "f(x)" are prose
// and maths. Looks a few characters past each parenthesis, so a long request is read once.
bool holdsCode(std::string_view text) {
    for (std::string_view op : {"==", "!=", "=>", "&&", "||", "{", "}"})
        if (text.find(op) != std::string_view::npos) return true;
    constexpr std::size_t CALL = 64;
    for (std::size_t at = 1; at < text.size(); ++at) {
        const auto before = static_cast<unsigned char>(text[at - 1]);
        if (!std::isalpha(before) && before != '_') continue;
        if (text[at] == '[') return true;
        if (text[at] != '(') continue;
        const std::string_view after = text.substr(at + 1, CALL);
        const std::string_view inside = after.substr(0, after.find(')'));
        if (inside.size() == after.size()) continue;
        if (inside.empty() ||
            std::any_of(inside.begin(), inside.end(), [](unsigned char c) { return !std::isalnum(c) && c != ' '; }))
            return true;
    }
    return false;
}

}  // namespace

// A verb that asks for a task among the request's first words decides ("je dois envoyer ce
// mail en allemand, tu peux le traduire ?"); else the first cue that names a kind: a request
// mostly leads with its task ("écris un mail…") and names its material after it. Then, in
// order: code written in the request, a word that leans to a kind, a question about the world
// ("why is the sky blue", "how does a mortgage work"). A question word alone, or nothing, gets
// the generic role. The words pass through a window as long as the longest cue and the words
// read after a question's opening, so a long request is never held as a list.
RequestKind classifyRequest(const std::string& request) {
    Reading reading;
    reading.english = detectLanguage(request) == Language::English;
    std::array<std::string, longestCue() + AFTER_OPENING> window;
    std::size_t held = 0;
    // Looks for cues from the window's first word on, then lets that word go.
    auto examineFirst = [&] {
        reading.examine(std::span<const std::string>(window.data(), held));
        std::move(window.begin() + 1, window.begin() + long(held), window.begin());
        --held;
        return reading.open();
    };
    forEachFoldedWord(request, [&](std::string word) {
        window[held++] = std::move(word);
        return held < window.size() || examineFirst();
    });
    while (reading.open() && held > 0) examineFirst();
    if (reading.verb) return *reading.verb;
    if (reading.named) return *reading.named;
    if (holdsCode(request)) return RequestKind::Code;
    if (reading.leaning) return *reading.leaning;
    if (reading.asked) return *reading.asked;
    if (reading.question && reading.supported) return RequestKind::Explanation;
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
