// The phones' server in a thread of its own, driven from the program's thread (phone_server.h).
#include "phones/phone_server.h"

#include <QThread>

PhoneServer::Thread::Thread(const QByteArray &token, const Limits &limits, RequestHandler onRequest)
    : m_thread(std::make_unique<QThread>())
{
    m_thread->setObjectName(QStringLiteral("telefoni"));
    m_server = new PhoneServer(token, limits, std::move(onRequest));
    m_server->moveToThread(m_thread.get());
    connect(
        m_server, &PhoneServer::phoneCountChanged, this, [this](int n) { m_phones.storeRelaxed(n); },
        Qt::DirectConnection);
    connect(m_server, &PhoneServer::phoneCountChanged, this, &Thread::phoneCountChanged,
            Qt::QueuedConnection);
    m_thread->start();
}

PhoneServer::Thread::~Thread()
{
    QMetaObject::invokeMethod(
        m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

quint16 PhoneServer::Thread::listen(quint16 port)
{
    quint16 got = 0;
    QMetaObject::invokeMethod(
        m_server, [this, port, &got] { got = m_server->listen(port); }, Qt::BlockingQueuedConnection);
    return got;
}

int PhoneServer::Thread::connectionCount() const
{
    int n = 0;
    QMetaObject::invokeMethod(
        m_server, [this, &n] { n = m_server->connectionCount(); }, Qt::BlockingQueuedConnection);
    return n;
}

void PhoneServer::Thread::publish(const PhoneState &state)
{
    PhoneServer *server = m_server;
    QMetaObject::invokeMethod(
        server, [server, state] { server->publish(state); }, Qt::QueuedConnection);
}

void PhoneServer::Thread::send(quint64 client, const QByteArray &message)
{
    PhoneServer *server = m_server;
    QMetaObject::invokeMethod(
        server, [server, client, message] { server->send(client, message); }, Qt::QueuedConnection);
}

void PhoneServer::Thread::broadcast(const QByteArray &message)
{
    PhoneServer *server = m_server;
    QMetaObject::invokeMethod(
        server, [server, message] { server->broadcast(message); }, Qt::QueuedConnection);
}
