// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/messagerecord.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

class Vocabulary;

// Writes a deterministic archive of the Veltra owners' mailing list: recurring authors,
// threads with "Re:" replies and quoting, archive-style dates, HTML bodies.
//
// The sequence depends only on the seed, and message n depends only on the messages
// before it, so an archive up to 2900 is exactly the start of one up to 3000: a demo
// database and a demo update site made with the same seed agree.
class MessageGenerator final
{
public:
    explicit MessageGenerator(quint64 seed);
    // Real text, for benchmarks: the same authors, dates and threads, but bodies of 60 to
    // 260 words (quotes, greeting and signature included) drawn from `vocabulary` in
    // sentences and paragraphs, replies quoting the message they answer in "&gt; " lines,
    // and subjects of the demo's kinds or naming a word of the vocabulary. The same seed and
    // vocabulary always give the same messages. A null vocabulary gives the demo archive.
    MessageGenerator(quint64 seed, std::shared_ptr<const Vocabulary> vocabulary);
    ~MessageGenerator();
    Q_DISABLE_COPY_MOVE(MessageGenerator)

    // The next message. Numbers start at 1 and ascend; now and then one or a few numbers
    // are skipped, as in an archive from which messages were removed. Not to be called
    // again once a message numbered 2147483647 has come out.
    MessageRecord next();

    // Every message numbered up to lastNumber.
    static QList<MessageRecord> generate(quint64 seed, qint32 lastNumber,
                                         std::shared_ptr<const Vocabulary> vocabulary = {});

    // How the real-text bodies count their words: the blank-separated pieces of the text
    // with the "<br>" breaks and the "&gt;" quote marks left out.
    static int wordCount(QStringView body);

    // The seven characters every subject starts with; subject searches pass over them,
    // so the real subject begins at the eighth character.
    static QString subjectLead();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
