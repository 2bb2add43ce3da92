// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation rule: what is taken off a subject's start, what is kept, and which
// subjects make one conversation.
#include "store/conversationtopic.h"

#include <QtTest>

class TestConversationTopic final : public QObject
{
    Q_OBJECT

private slots:
    void topic_data();
    void topic();
    void sameConversation_data();
    void sameConversation();
};

void TestConversationTopic::topic_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("topic");
    QTest::newRow("plain") << QStringLiteral("Brake fade") << QStringLiteral("brake fade");
    QTest::newRow("the archive's lead") << QStringLiteral("[vclb] Brake fade") << QStringLiteral("brake fade");
    for (const char *prefix : {"Re:", "RE:", "re:", "rE:", "Fwd:", "FWD:", "FW:", "Fw:", "fw:", "AW:", "Aw:", "SV:", "sv:",
                               "Re :", "Re\t:", "Re[2]:", "Re(2):", "RE[12] :", "Fwd(3):", "Re:   "})
        QTest::newRow(prefix) << QString::fromLatin1(prefix) + QStringLiteral(" Brake fade") << QStringLiteral("brake fade");
    QTest::newRow("no blank after the colon") << QStringLiteral("Re:Brake fade") << QStringLiteral("brake fade");
    QTest::newRow("prefixes and tags mixed") << QStringLiteral("Re: [vclub] RE: Fwd: x") << QStringLiteral("x");
    QTest::newRow("tag, prefix, numbered, tag") << QStringLiteral("[vclb] Re[3]: AW: [vclub]SV:x y") << QStringLiteral("x y");
    QTest::newRow("prefixes only") << QStringLiteral("Re: Re:") << QString();
    QTest::newRow("the lead only") << QStringLiteral("[vclb] ") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blanks only") << QStringLiteral(" \t\n ") << QString();
    QTest::newRow("blanks folded and trimmed")
        << QStringLiteral("  Re:  Brake \t\t fade\n\r\npads  ") << QStringLiteral("brake fade pads");
    QTest::newRow("a non-breaking blank is a blank") << QStringLiteral("Brake\u00a0fade") << QStringLiteral("brake fade");
    QTest::newRow("non-ASCII case") << QStringLiteral("Re: BREMSFLÜSSIGKEIT") << QStringLiteral("bremsflüssigkeit");
    // Words that only begin with a prefix's letters are the subject's own.
    QTest::newRow("Recall") << QStringLiteral("Recall notice") << QStringLiteral("recall notice");
    QTest::newRow("Fwdrive") << QStringLiteral("Fwdrive: 4x4") << QStringLiteral("fwdrive: 4x4");
    QTest::newRow("Research:") << QStringLiteral("Research: brakes") << QStringLiteral("research: brakes");
    QTest::newRow("Re-") << QStringLiteral("Re-bushing the arms") << QStringLiteral("re-bushing the arms");
    QTest::newRow("a prefix without its colon") << QStringLiteral("Re brakes") << QStringLiteral("re brakes");
    QTest::newRow("a colon on the next line") << QStringLiteral("Re\n: brakes") << QStringLiteral("re : brakes");
    QTest::newRow("an empty count") << QStringLiteral("Re[]: x") << QStringLiteral("re[]: x");
    QTest::newRow("a count that is no number") << QStringLiteral("Re[a]: x") << QStringLiteral("re[a]: x");
    QTest::newRow("a prefix later on") << QStringLiteral("Brakes Re: pads") << QStringLiteral("brakes re: pads");
    // Brackets that are no list tag stay.
    QTest::newRow("a tag without blank after") << QStringLiteral("[vclb]Brakes") << QStringLiteral("brakes");
    QTest::newRow("brackets too long for a tag")
        << QStringLiteral("[one of the longest bracketed notes] x") << QStringLiteral("[one of the longest bracketed notes] x");
    QTest::newRow("nested brackets") << QStringLiteral("[[vclb]] x") << QStringLiteral("[[vclb]] x");
    QTest::newRow("an unclosed bracket") << QStringLiteral("[vclb x") << QStringLiteral("[vclb x");
    QTest::newRow("brackets over a line break") << QStringLiteral("[vc\nlb] x") << QStringLiteral("[vc lb] x");

    const QString tenThousand(10000, u'a');
    QTest::newRow("10,000 letters") << QStringLiteral("Re: ") + tenThousand << tenThousand;
    QTest::newRow("10,000 characters of prefixes") << QStringLiteral("Re: ").repeated(2500) << QString();
    QTest::newRow("10,000 characters of tags") << QStringLiteral("[ab] ").repeated(2000) << QString();
    QTest::newRow("10,000 opening brackets") << QString(10000, u'[') << QString(10000, u'[');
    QTest::newRow("10,000 blanks before no colon")
        << QStringLiteral("Re") + QString(10000, u' ') + QStringLiteral("x") << QStringLiteral("re x");
}

void TestConversationTopic::topic()
{
    QFETCH(QString, subject);
    QFETCH(QString, topic);
    QCOMPARE(ConversationTopic::of(subject), topic);
}

void TestConversationTopic::sameConversation_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("case") << QStringLiteral("[vclb] Clutch Cable") << QStringLiteral("[vclb] RE: clutch cable") << true;
    QTest::newRow("German capitals") << QStringLiteral("BREMSFLÜSSIGKEIT") << QStringLiteral("bremsflüssigkeit") << true;
    QTest::newRow("Greek final sigma") << QStringLiteral("ΣΊΣΥΦΟΣ") << QStringLiteral("Re: σίσυφος") << true;
    QTest::newRow("Cyrillic") << QStringLiteral("Ремонт СЦЕПЛЕНИЯ") << QStringLiteral("Fwd: ремонт сцепления") << true;
    QTest::newRow("a word more") << QStringLiteral("Brake pads") << QStringLiteral("Re: Brake pads again") << false;
}

void TestConversationTopic::sameConversation()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QCOMPARE(ConversationTopic::of(a) == ConversationTopic::of(b), same);
}

QTEST_GUILESS_MAIN(TestConversationTopic)
#include "tst_conversationtopic.moc"
