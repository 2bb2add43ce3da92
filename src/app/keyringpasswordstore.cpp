// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keyringpasswordstore.h"

#include <qt6keychain/keychain.h>

#include <QMetaObject>
#include <QPointer>

#include <functional>

namespace {

// A job of QtKeychain's, on the store's thread, deleted when it has answered.
template<class Job> Job *newJob(const QString &service, const QString &key, QObject *worker)
{
    auto *job = new Job(service, worker);
    job->setAutoDelete(true);
    // Where no keyring answers, nothing is written to a file instead.
    job->setInsecureFallback(false);
    job->setKey(key);
    return job;
}

}

KeyringPasswordStore::KeyringPasswordStore(const QString &service, QObject *parent)
    : PasswordStore(parent)
    , m_service(service)
{
    m_thread.setObjectName(QStringLiteral("keyring"));
}

KeyringPasswordStore::~KeyringPasswordStore()
{
    if (!m_thread.isRunning())
        return;
    m_thread.quit();
    m_thread.wait();
}

void KeyringPasswordStore::onThread(std::function<void(QObject *worker)> request)
{
    if (!m_worker) {
        m_worker = new QObject;
        m_worker->moveToThread(&m_thread);
        connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
    }
    QObject *const worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, request = std::move(request)] { request(worker); }, Qt::QueuedConnection);
}

void KeyringPasswordStore::read(const QString &key)
{
    // Answers are handed back to this object on its own thread; one that comes after it
    // is gone is dropped with the store's events.
    const QPointer<KeyringPasswordStore> store(this);
    const QString service = m_service;
    onThread([store, service, key](QObject *worker) {
        auto *job = newJob<QKeychain::ReadPasswordJob>(service, key, worker);
        QObject::connect(job, &QKeychain::Job::finished, worker, [store, key, job] {
            Answer answer = Answer::NoKeyring;
            QString password;
            if (job->error() == QKeychain::NoError) {
                answer = Answer::Found;
                password = job->textData();
            } else if (job->error() == QKeychain::EntryNotFound) {
                answer = Answer::NotFound;
            }
            if (!store)
                return;
            QMetaObject::invokeMethod(store.data(), [store, key, answer, password] {
                if (store)
                    emit store->readAnswered(key, answer, password);
            }, Qt::QueuedConnection);
        });
        job->start();
    });
}

void KeyringPasswordStore::write(const QString &key, const QString &password)
{
    const QPointer<KeyringPasswordStore> store(this);
    const QString service = m_service;
    onThread([store, service, key, password](QObject *worker) {
        auto *job = newJob<QKeychain::WritePasswordJob>(service, key, worker);
        job->setTextData(password);
        QObject::connect(job, &QKeychain::Job::finished, worker, [store, key, job] {
            const bool stored = job->error() == QKeychain::NoError;
            if (!store)
                return;
            QMetaObject::invokeMethod(store.data(), [store, key, stored] {
                if (store)
                    emit store->writeAnswered(key, stored);
            }, Qt::QueuedConnection);
        });
        job->start();
    });
}

void KeyringPasswordStore::remove(const QString &key)
{
    const QString service = m_service;
    onThread([service, key](QObject *worker) { newJob<QKeychain::DeletePasswordJob>(service, key, worker)->start(); });
}
