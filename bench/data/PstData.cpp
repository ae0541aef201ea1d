#include "PstData.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace qob::bench {
namespace {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() { // splitmix64: fast, and any seed gives a good stream
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) {
        return static_cast<std::uint32_t>(((next() >> 32) * static_cast<std::uint64_t>(n)) >> 32);
    }
    std::uint32_t between(std::uint32_t lo, std::uint32_t hi) { return lo + below(hi - lo + 1); }
    bool chance(std::uint32_t percent) { return below(100) < percent; }
    void fill(unsigned char* out, std::size_t size) {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            const std::uint64_t v = next();
            std::memcpy(out + i, &v, 8);
        }
        for (const std::uint64_t v = next(); i < size; ++i) {
            out[i] = static_cast<unsigned char>(v >> (8 * (i % 8)));
        }
    }

private:
    std::uint64_t state_;
};

constexpr std::string_view kCommonWords[] = {
    "the",       "to",         "and",          "of",        "a",           "in",          "for",
    "is",        "on",         "that",         "we",        "you",         "it",          "with",
    "this",      "be",         "are",          "as",        "will",        "have",        "at",
    "please",    "I",          "our",          "from",      "can",         "not",         "by",
    "or",        "your",       "if",           "an",        "all",         "would",       "they",
    "has",       "was",        "but",          "let",       "me",          "know",        "meeting",
    "team",      "project",    "report",       "attached",  "find",        "next",        "week",
    "thanks",    "regards",    "customer",     "order",     "invoice",     "delivery",    "update",
    "question",  "time",       "today",        "tomorrow",  "Monday",      "Friday",      "call",
    "office",    "budget",     "numbers",      "quarter",   "review",      "draft",       "version",
    "contract",  "price",      "offer",        "changes",   "agreed",      "discussed",   "follow",
    "up",        "send",       "sent",         "received",  "could",       "should",      "also",
    "more",      "about",      "some",         "any",       "need",        "needs",       "new",
    "first",     "last",       "into",         "there",     "their",       "which",       "when",
    "what",      "who",        "how",          "one",       "two",         "three",       "date",
    "schedule",  "plan",       "planning",     "status",    "issue",       "issues",      "problem",
    "solution",  "support",    "service",      "server",    "account",     "access",      "login",
    "password",  "document",   "file",         "files",     "folder",      "shared",      "drive",
    "link",      "copy",       "comments",     "feedback",  "approval",    "approved",    "sign",
    "signed",    "payment",    "due",          "end",       "month",       "year",        "annual",
    "sales",     "marketing",  "finance",      "legal",     "department",  "manager",     "director",
    "colleague", "colleagues", "partner",      "supplier",  "shipment",    "warehouse",   "stock",
    "available", "confirm",    "confirmed",    "booking",   "hotel",       "flight",      "travel",
    "trip",      "conference", "presentation", "slides",    "agenda",      "minutes",     "notes",
    "action",    "items",      "owner",        "deadline",  "priority",    "urgent",      "soon",
    "possible",  "hope",       "well",         "good",      "great",       "fine",        "sure",
    "sorry",     "delay",      "late",         "early",     "morning",     "afternoon",   "evening",
    "lunch",     "room",       "building",     "floor",     "phone",       "number",      "mobile",
    "email",     "address",    "mail",         "reply",     "forward",     "original",    "message",
    "subject",   "before",     "after",        "during",    "between",     "again",       "still",
    "already",   "just",       "only",         "other",     "same",        "each",        "every",
    "many",      "much",       "most",         "because",   "so",          "then",        "than",
    "here",      "where",      "why",          "make",      "made",        "take",        "give",
    "get",       "see",        "look",         "check",     "checked",     "work",        "working",
    "done",      "ready",      "open",         "closed",    "start",       "started",     "finish",
    "finished",  "keep",       "hold",         "und",       "der",         "die",         "das",
    "mit",       "für",        "bitte",        "Grüße",     "Besprechung", "Angebot",     "Rechnung",
    "Termin",    "morgen",     "heute",        "Woche",     "Übersicht",   "Anhang",      "Zahlen",
    "Bericht",   "Projekt",    "Kunde",        "Lieferung", "Danke",       "Freundliche",
};

constexpr std::string_view kSyllables[] = {
    "ka", "ver", "lin", "to",  "mar", "sen", "do", "ri",  "an",  "tel", "bo", "ne", "fra", "gu", "sta",
    "pe", "lo",  "qui", "dre", "min", "ha",  "us", "cor", "tex", "vi",  "om", "ba", "zel", "or", "ti",
};

constexpr std::string_view kFirstNames[] = {"Anna",   "Peter", "Maria",  "Thomas", "Julia", "Michael",
                                            "Sandra", "David", "Laura",  "Stefan", "Emma",  "Jonas",
                                            "Sophie", "Lukas", "Claire", "Martin", "Nina",  "Paul"};
constexpr std::string_view kLastNames[] = {"Müller", "Schmidt",  "Meyer",  "Fischer", "Weber",  "Wagner",
                                           "Becker", "Hoffmann", "Schulz", "Koch",    "Smith",  "Jones",
                                           "Brown",  "Taylor",   "Wilson", "Martin",  "Dubois", "Rossi"};
constexpr std::string_view kDomains[] = {"example.com", "example.org", "contoso.example", "fabrikam.example",
                                         "mail.example.net"};
constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::string_view kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::string_view kGreetings[] = {"Hi", "Hello", "Dear", "Hallo", "Good morning", "Liebe"};
constexpr std::string_view kClosings[] = {"Best regards,", "Kind regards,", "Thanks,",
                                          "Cheers,",       "Viele Grüße,",  "Mit freundlichen Grüßen,"};
constexpr std::string_view kPrefixes[] = {"", "", "Re: ", "RE: ", "AW: ", "Fwd: ", "WG: "};
constexpr std::string_view kColors[] = {"#1F497D", "#000000", "#595959", "#0563C1", "#C00000",
                                        "#F2F2F2", "#D9E2F3", "#FFFFFF", "#404040", "#2E74B5"};
constexpr std::string_view kFonts[] = {"Calibri", "Arial", "Segoe UI", "Verdana", "Times New Roman"};

template <typename T, std::size_t N> std::string_view pick(Rng& rng, const T (&list)[N]) {
    return list[rng.below(N)];
}

// The vocabulary: common words first, then made-up ones (names, products, rare terms), drawn with a
// Zipf law as natural text is. The same for every seed.
class Vocabulary {
public:
    Vocabulary() {
        for (auto w : kCommonWords) {
            words_.emplace_back(w);
        }
        Rng rng(0x5eed);
        while (words_.size() < 4000) {
            std::string w;
            const std::uint32_t n = rng.between(2, 4);
            for (std::uint32_t i = 0; i < n; ++i) {
                w += pick(rng, kSyllables);
            }
            if (rng.chance(15)) {
                w[0] = static_cast<char>(w[0] - 'a' + 'A');
            }
            words_.push_back(std::move(w));
        }
        double total = 0;
        std::vector<double> weight(words_.size());
        for (std::size_t i = 0; i < words_.size(); ++i) {
            weight[i] = 1.0 / (static_cast<double>(i) + 2.0);
            total += weight[i];
        }
        table_.resize(kTable);
        double cumulative = 0;
        std::size_t word = 0;
        for (std::size_t slot = 0; slot < kTable; ++slot) {
            const double at = (static_cast<double>(slot) + 0.5) / kTable * total;
            while (word + 1 < words_.size() && cumulative + weight[word] < at) {
                cumulative += weight[word++];
            }
            table_[slot] = static_cast<std::uint16_t>(word);
        }
    }
    const std::string& draw(Rng& rng) const { return words_[table_[rng.below(kTable)]]; }

private:
    static constexpr std::size_t kTable = 1 << 18;
    std::vector<std::string> words_;
    std::vector<std::uint16_t> table_;
};

const Vocabulary& vocabulary() {
    static const Vocabulary v; // built once, read-only afterwards: safe to share between threads
    return v;
}

void appendNumber(std::string& s, std::uint64_t n, int width = 0) {
    char buf[24];
    int len = 0;
    do {
        buf[len++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0 || len < width);
    while (len > 0) {
        s.push_back(buf[--len]);
    }
}

void appendHex(std::string& s, std::uint64_t v, int digits) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = digits - 1; i >= 0; --i) {
        s.push_back(kHex[(v >> (4 * i)) & 15]);
    }
}

void appendSentence(std::string& s, Rng& rng) {
    const auto& vocab = vocabulary();
    const std::uint32_t n = rng.between(5, 18);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::string& w = vocab.draw(rng);
        const std::size_t at = s.size();
        s += w;
        if (i == 0 && s[at] >= 'a' && s[at] <= 'z') {
            s[at] = static_cast<char>(s[at] - 'a' + 'A');
        }
        if (i + 1 < n) {
            s += rng.chance(8) ? ", " : " ";
        }
        if (rng.chance(3)) {
            appendNumber(s, rng.below(rng.chance(50) ? 100 : 100000));
            s += ' ';
        }
    }
    s += rng.chance(85) ? ". " : (rng.chance(50) ? "? " : "! ");
}

void appendParagraph(std::string& s, Rng& rng, std::string_view quote) {
    s += quote;
    const std::uint32_t n = rng.between(1, 5);
    std::size_t lineStart = s.size();
    for (std::uint32_t i = 0; i < n; ++i) {
        appendSentence(s, rng);
        if (s.size() - lineStart > 72) { // mail clients wrap plain text near 76 columns
            s += "\r\n";
            s += quote;
            lineStart = s.size();
        }
    }
    s += "\r\n\r\n";
}

void appendPerson(std::string& s, Rng& rng) {
    const auto first = pick(rng, kFirstNames);
    const auto last = pick(rng, kLastNames);
    s += first;
    s += ' ';
    s += last;
    s += " <";
    s += first;
    s += '.';
    s += last;
    s += '@';
    s += pick(rng, kDomains);
    s += '>';
}

void appendDate(std::string& s, Rng& rng) {
    s += pick(rng, kDays);
    s += ", ";
    appendNumber(s, rng.between(1, 28));
    s += ' ';
    s += pick(rng, kMonths);
    s += " 20";
    appendNumber(s, rng.between(15, 26), 2);
    s += ' ';
    appendNumber(s, rng.between(7, 19), 2);
    s += ':';
    appendNumber(s, rng.below(60), 2);
    s += ':';
    appendNumber(s, rng.below(60), 2);
    s += rng.chance(50) ? " +0100" : " +0200";
}

void appendSubject(std::string& s, Rng& rng) {
    s += pick(rng, kPrefixes);
    const std::uint32_t n = rng.between(2, 7);
    for (std::uint32_t i = 0; i < n; ++i) {
        s += vocabulary().draw(rng);
        s += i + 1 < n ? " " : "";
    }
}

void appendHeaders(std::string& s, Rng& rng) {
    s += "From: ";
    appendPerson(s, rng);
    s += "\r\nTo: ";
    appendPerson(s, rng);
    if (rng.chance(40)) {
        s += "\r\nCc: ";
        appendPerson(s, rng);
    }
    s += "\r\nSubject: ";
    appendSubject(s, rng);
    s += "\r\nDate: ";
    appendDate(s, rng);
    s += "\r\nMessage-ID: <";
    appendHex(s, rng.next(), 16);
    s += '.';
    appendHex(s, rng.next(), 8);
    s += '@';
    s += pick(rng, kDomains);
    s += ">\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n\r\n";
}

void appendSignature(std::string& s, Rng& rng) {
    s += pick(rng, kClosings);
    s += "\r\n";
    s += pick(rng, kFirstNames);
    s += ' ';
    s += pick(rng, kLastNames);
    s += "\r\nPhone +49 ";
    appendNumber(s, rng.between(30, 899));
    s += ' ';
    appendNumber(s, rng.below(10000000), 7);
    s += "\r\n\r\n";
}

void appendMail(std::string& s, Rng& rng) {
    appendHeaders(s, rng);
    s += pick(rng, kGreetings);
    s += ' ';
    s += pick(rng, kFirstNames);
    s += ",\r\n\r\n";
    for (std::uint32_t n = rng.between(1, 4); n > 0; --n) {
        appendParagraph(s, rng, "");
    }
    appendSignature(s, rng);
    if (rng.chance(50)) { // the reply quotes the mail it answers
        s += "-----Original Message-----\r\n";
        appendHeaders(s, rng);
        for (std::uint32_t n = rng.between(1, 3); n > 0; --n) {
            appendParagraph(s, rng, "> ");
        }
    }
}

void appendHtmlMail(std::string& s, Rng& rng) {
    const auto font = pick(rng, kFonts);
    s += "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"><style>"
         "p.MsoNormal, li.MsoNormal {margin:0cm;font-size:";
    appendNumber(s, rng.between(9, 12));
    s += ".0pt;font-family:\"";
    s += font;
    s += "\",sans-serif;}\r\na:link {color:";
    s += pick(rng, kColors);
    s += ";text-decoration:underline;}\r\n.MsoChpDefault {mso-style-type:export-only;}\r\n"
         "div.WordSection1 {page:WordSection1;}</style></head>\r\n<body lang=\"DE\" link=\"";
    s += pick(rng, kColors);
    s += "\"><div class=\"WordSection1\">\r\n";
    for (std::uint32_t n = rng.between(2, 6); n > 0; --n) {
        s += "<p class=\"MsoNormal\"><span style=\"font-size:";
        appendNumber(s, rng.between(9, 12));
        s += ".0pt;color:";
        s += pick(rng, kColors);
        s += "\">";
        for (std::uint32_t k = rng.between(1, 4); k > 0; --k) {
            appendSentence(s, rng);
        }
        s += "<o:p></o:p></span></p>\r\n";
    }
    if (rng.chance(50)) {
        s += "<table class=\"MsoNormalTable\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\" "
             "style=\"border-collapse:collapse\">\r\n";
        const std::uint32_t columns = rng.between(2, 5);
        for (std::uint32_t r = rng.between(2, 12); r > 0; --r) {
            s += "<tr>";
            for (std::uint32_t c = 0; c < columns; ++c) {
                s += "<td width=\"";
                appendNumber(s, rng.between(60, 200));
                s += "\" valign=\"top\" style=\"border:solid windowtext 1.0pt;background:";
                s += pick(rng, kColors);
                s += ";padding:0cm 5.4pt 0cm 5.4pt\"><p class=\"MsoNormal\">";
                if (c == 0) {
                    s += vocabulary().draw(rng);
                } else {
                    appendNumber(s, rng.below(100000));
                    s += ',';
                    appendNumber(s, rng.below(100), 2);
                }
                s += "</p></td>";
            }
            s += "</tr>\r\n";
        }
        s += "</table>\r\n";
    }
    s += "<p class=\"MsoNormal\">";
    s += pick(rng, kClosings);
    s += "<br>";
    s += pick(rng, kFirstNames);
    s += "</p></div></body></html>\r\n";
}

void appendBase64(std::string& s, Rng& rng, std::size_t bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes; i += 6) {
        const std::uint64_t v = rng.next(); // 48 random bits: 6 bytes of an attachment, 8 characters
        for (int k = 7; k >= 0; --k) {
            s.push_back(kAlphabet[(v >> (6 * k)) & 63]);
        }
        column += 8;
        if (column >= 76) {
            s += "\r\n";
            column = 0;
        }
    }
}

enum class Kind { Text, Html, Base64, Compressed, Zero, Sparse, Index };

struct KindShape {
    Kind kind;
    unsigned share; // percent of the bytes
    std::size_t pageBytes;
    std::uint32_t minPages, maxPages;
};

constexpr std::array<KindShape, 7> kShapes = {{
    {Kind::Text, 30, 8192, 1, 6},
    {Kind::Html, 14, 8192, 1, 6},
    {Kind::Base64, 8, 8192, 4, 48},
    {Kind::Compressed, 15, 8192, 4, 96},
    {Kind::Zero, 17, 4096, 1, 64},
    {Kind::Sparse, 6, 4096, 1, 8},
    {Kind::Index, 10, 4096, 1, 16},
}};

constexpr std::size_t kTrailer = 16;

// Chooses kinds so that each one's share of the bytes matches its target: a kind's chance of being
// the next run is its share divided by its mean run length.
class KindPicker {
public:
    KindPicker() {
        double total = 0;
        for (std::size_t i = 0; i < kShapes.size(); ++i) {
            const auto& k = kShapes[i];
            const double meanBytes = (k.minPages + k.maxPages) / 2.0 * static_cast<double>(k.pageBytes);
            weight_[i] = k.share / meanBytes;
            total += weight_[i];
        }
        double cumulative = 0;
        for (std::size_t i = 0; i < kShapes.size(); ++i) {
            cumulative += weight_[i] / total;
            bound_[i] = static_cast<std::uint32_t>(cumulative * 1'000'000);
        }
        bound_[kShapes.size() - 1] = 1'000'000;
    }
    const KindShape& pick(Rng& rng) const {
        const std::uint32_t r = rng.below(1'000'000);
        std::size_t i = 0;
        while (r >= bound_[i]) {
            ++i;
        }
        return kShapes[i];
    }

private:
    std::array<double, kShapes.size()> weight_{};
    std::array<std::uint32_t, kShapes.size()> bound_{};
};

class SegmentWriter {
public:
    SegmentWriter(std::uint64_t seed, std::uint64_t index)
        : rng_(seed * 0x2545f4914f6cdd1dull + index * 0x9e3779b97f4a7c15ull + 1),
          blockId_(index * (kPstSegmentBytes / 512)) {}

    void fill(unsigned char* out, std::size_t size) {
        static const KindPicker picker;
        std::size_t at = 0;
        while (at < size) {
            const KindShape& shape = picker.pick(rng_);
            const std::size_t pages = rng_.between(shape.minPages, shape.maxPages);
            const std::size_t bytes = std::min(pages * shape.pageBytes, size - at);
            run(shape, out + at, bytes);
            at += bytes;
        }
    }

private:
    void run(const KindShape& shape, unsigned char* out, std::size_t size) {
        const std::size_t body = shape.pageBytes - kTrailer;
        switch (shape.kind) {
        case Kind::Zero:
            std::memset(out, 0, size);
            return;
        case Kind::Sparse:
            for (std::size_t p = 0; p < size; p += shape.pageBytes) {
                const std::size_t n = std::min(shape.pageBytes, size - p);
                std::memset(out + p, 0, n);
                // An allocation map: allocated stretches (all ones) and a few mixed bytes at the front.
                const std::size_t used = std::min<std::size_t>(rng_.between(8, 600), n);
                for (std::size_t i = 0; i < used; ++i) {
                    out[p + i] = rng_.chance(85) ? 0xff : static_cast<unsigned char>(rng_.next());
                }
                trailer(out + p, n, 0x84);
            }
            return;
        case Kind::Index:
            for (std::size_t p = 0; p < size; p += shape.pageBytes) {
                indexPage(out + p, std::min(shape.pageBytes, size - p));
            }
            return;
        case Kind::Compressed:
            rng_.fill(out, size);
            attachmentHeader(out, size);
            break;
        case Kind::Text:
        case Kind::Html:
        case Kind::Base64: {
            const bool wide = shape.kind == Kind::Text && rng_.chance(33);
            text_.clear();
            while (text_.size() < size) {
                if (shape.kind == Kind::Text) {
                    appendMail(text_, rng_);
                } else if (shape.kind == Kind::Html) {
                    appendHtmlMail(text_, rng_);
                } else {
                    appendBase64(text_, rng_, size * 3 / 4 + 6);
                }
            }
            if (wide) {
                widen(out, size);
            } else {
                std::memcpy(out, text_.data(), size);
            }
            break;
        }
        }
        // Data blocks end in their trailer: move nothing, just overwrite the last bytes of each page.
        for (std::size_t p = 0; p + body < size; p += shape.pageBytes) {
            trailer(out + p, std::min(shape.pageBytes, size - p), 0x01);
        }
    }

    // UTF-16LE, as a Unicode store keeps its strings (the text here is ASCII or Latin-1 bytes).
    void widen(unsigned char* out, std::size_t size) {
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            out[i] = static_cast<unsigned char>(text_[i / 2]);
            out[i + 1] = 0;
        }
        if (size % 2) {
            out[size - 1] = 0;
        }
    }

    void attachmentHeader(unsigned char* out, std::size_t size) {
        static constexpr unsigned char kJpeg[] = {0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                                                  0x00, 0x01, 0x01, 0x01, 0x00, 0x48, 0x00, 0x48, 0x00, 0x00};
        static constexpr unsigned char kZip[] = {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0};
        if (rng_.chance(60)) {
            std::memcpy(out, kJpeg, std::min(sizeof kJpeg, size));
        } else {
            std::memcpy(out, kZip, std::min(sizeof kZip, size));
        }
    }

    void indexPage(unsigned char* out, std::size_t size) {
        std::memset(out, 0, size);
        const std::size_t entries = rng_.between(10, static_cast<std::uint32_t>((size - 32) / 24));
        std::uint64_t key = rng_.next() >> 40;
        std::uint64_t offset = rng_.next() >> 34;
        for (std::size_t e = 0; e < entries && (e + 1) * 24 + 32 <= size; ++e) {
            key += rng_.between(1, 64) * 4;
            offset += rng_.between(1, 16) * 64;
            const std::uint64_t bid = key + (rng_.chance(30) ? rng_.below(4096) : 0);
            const std::uint64_t cb = rng_.between(64, 8176);
            std::memcpy(out + e * 24, &key, 8);
            std::memcpy(out + e * 24 + 8, &bid, 8);
            std::memcpy(out + e * 24 + 16, &offset, 4);
            std::memcpy(out + e * 24 + 20, &cb, 2);
            out[e * 24 + 22] = static_cast<unsigned char>(rng_.below(3));
        }
        out[size - 32] = static_cast<unsigned char>(entries);
        out[size - 31] = static_cast<unsigned char>((size - 32) / 24);
        out[size - 30] = 24;
        trailer(out, size, rng_.chance(50) ? 0x80 : 0x81);
    }

    void trailer(unsigned char* page, std::size_t size, unsigned char type) {
        if (size < kTrailer) {
            return;
        }
        unsigned char* t = page + size - kTrailer;
        t[0] = type;
        t[1] = type;
        const std::uint64_t check = rng_.next();
        std::memcpy(t + 2, &check, 6); // signature and checksum
        blockId_ += 4;
        std::memcpy(t + 8, &blockId_, 8);
    }

    Rng rng_;
    std::uint64_t blockId_;
    std::string text_;
};

} // namespace

void makePstSegment(std::uint64_t seed, std::uint64_t index, unsigned char* out, std::size_t size) {
    size = std::min(size, kPstSegmentBytes);
    SegmentWriter(seed, index).fill(out, size);
    if (index == 0 && size >= 512) { // the store's header: magic, version, a few counters, then zeros
        static constexpr unsigned char kHeader[] = {'!', 'B', 'D', 'N', 0x3e, 0x1a, 'S',
                                                    'M', 23,  0,   19,  0,    1,    1};
        std::memset(out, 0, 512);
        std::memcpy(out, kHeader, sizeof kHeader);
    }
}

std::string pstLikeBytes(std::size_t size, std::uint64_t seed) {
    std::string out(size, '\0');
    for (std::uint64_t index = 0; index * kPstSegmentBytes < size; ++index) {
        const std::size_t at = index * kPstSegmentBytes;
        makePstSegment(seed, index, reinterpret_cast<unsigned char*>(out.data() + at),
                       std::min(kPstSegmentBytes, size - at));
    }
    return out;
}

} // namespace qob::bench
