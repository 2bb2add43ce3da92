// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

// A compiled pattern of the Jet "like" operator, matched against UTF-8 texts.
//
// The whole text must match. Letters compare without regard to case, non-ASCII ones
// included (é matches É but not e). "*" is any run of characters, "?" one character
// (code point), "#" one digit, "[abc]" / "[!abc]" / "[a-z]" one character in or out of a
// set (case-insensitive too); "[*]", "[?]", "[#]", "[[]" are those characters themselves,
// "-" first or last in a set is itself, "]" outside a set is itself, "[]" matches nothing
// (the empty string). An unbalanced "[" or a descending range is refused.
//
// Compile once, then match many texts; matching is safe on any bytes, valid UTF-8 or not.
class JetLike final
{
public:
    // The SQL function jetlike(pattern, text) returns 1 or 0; NULL text gives 0 and a
    // number is matched as its decimal text. pattern is either a text (compiled once per
    // statement run) or a JetLike bound with sqlite3_bind_pointer under kPointerType.
    static constexpr const char *kSqlFunction = "jetlike";
    static constexpr const char *kPointerType = "veltra.JetLike";
    static bool registerSqlFunction(sqlite3 *db, QString *error = nullptr);

    // Null with *error set (starting "Invalid pattern string") when the pattern is malformed.
    static std::unique_ptr<JetLike> compile(const QString &pattern, QString *error = nullptr);
    // Matches exactly `text`, case-insensitively: no character of it is a wildcard.
    static std::unique_ptr<JetLike> literal(const QString &text);
    // Matches a text holding the words of `words` as whole words, one right after another,
    // words cut as the search index cuts them (see indexwords.h) and compared as like
    // compares letters: "o-ring" matches "an O-ring" and "o ring", not "o-rings". Words
    // without a word character match nothing.
    static std::unique_ptr<JetLike> wholeWords(const QString &words);

    ~JetLike();
    JetLike(const JetLike &) = delete;
    JetLike &operator=(const JetLike &) = delete;

    bool matches(const char *utf8, std::size_t size) const;
    bool matches(const QString &text) const;
    // The same answer without the byte-wise shortcut for the forms a search builds
    // ("*word*", "word*", "*word", "word"): what that shortcut must always agree with.
    bool matchesGenerally(const char *utf8, std::size_t size) const;

    // The text itself when the pattern holds no wildcard, set or bracket at all.
    std::optional<QString> literalText() const;

private:
    struct Program;
    explicit JetLike(std::unique_ptr<Program> program);
    bool matchesWords(const char *utf8, std::size_t size) const;

    std::unique_ptr<Program> m_program;
    bool m_wholeWords = false;
    std::vector<std::unique_ptr<JetLike>> m_words; // each word of the whole-word form, literal
};
