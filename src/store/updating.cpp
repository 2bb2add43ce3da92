#include "app/form1.h"
#include "ui_form1.h"

#include <QTimer>

void Form1::connectUpdating()
{
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

void Form1::setFetchTimeout(int milliseconds)
{
    m_fetchTimeout = milliseconds;
}

void Form1::updateDB() {}
void Form1::MnuUpdateNow_Click() {}
void Form1::MnuUpdateAuto_Click() {}
void Form1::MnuStopUpdate_Click() {}
void Form1::Timer1_Timer() {}
