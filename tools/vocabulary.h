// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class SplitMix64;

// The words of the real-text archive, most used first, and draws from them with the
// frequencies of natural language (Zipf's law): the word of rank r comes up in proportion
// to 1 / r^exponent. A real list's mail has tens of thousands of distinct words, a few of
// them in nearly every message and most in only a handful: that spread is what a substring
// index meets, and what the demo archive's few hundred sentences do not have.
class Vocabulary final
{
public:
    static constexpr int kDefaultSize = 50000;
    static constexpr double kDefaultExponent = 1.0;

    // The word list shipped with the program (data/realtext-words.txt), then made-up words.
    static std::shared_ptr<const Vocabulary> fromWordList(int size = kDefaultSize);
    // The words of the mail under `folder` (mbox and .eml files, read in name order), most
    // used first, then the shipped list's other words, then made-up words. Nullptr, and
    // *error set, when the folder holds no mail to read.
    static std::shared_ptr<const Vocabulary> fromMail(const QString &folder, QString *error,
                                                      int size = kDefaultSize);

    int size() const;
    const QString &word(int rank) const; // rank 0 is the most used word
    int draw(SplitMix64 &rng) const;     // a rank

    // How many words came from each source, and where from, to be printed with the figures.
    int mailWords() const;
    int listWords() const;
    int madeUpWords() const;
    QString description() const;

private:
    Vocabulary() = default;
    static QStringList shippedWords();
    void finish(QStringList words, int size, double exponent);

    QStringList m_words;
    std::vector<quint64> m_cumulative; // of the weights, scaled to the full 64-bit range
    int m_mailWords = 0;
    int m_listWords = 0;
    int m_madeUpWords = 0;
    QString m_description;
};
