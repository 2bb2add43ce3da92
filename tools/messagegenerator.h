#pragma once

#include "store/messagerecord.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

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
    ~MessageGenerator();
    Q_DISABLE_COPY_MOVE(MessageGenerator)

    // The next message. Numbers start at 1 and ascend; now and then one or a few numbers
    // are skipped, as in an archive from which messages were removed. Not to be called
    // again once a message numbered 2147483647 has come out.
    MessageRecord next();

    // Every message numbered up to lastNumber.
    static QList<MessageRecord> generate(quint64 seed, qint32 lastNumber);

    // The seven characters every subject starts with; subject searches pass over them,
    // so the real subject begins at the eighth character.
    static QString subjectLead();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
