#include "ReplyShaper.h"

namespace tarsyn::sim {

quint32 ReplyShaper::next() {
    // xorshift32: enough for noise, and the same sequence for the same seed.
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

QByteArray ReplyShaper::shape(const QByteArray& reply) {
    if (m_faults.noAnswer) return {};
    QByteArray out = m_faults.shortLength >= 0 ? reply.left(m_faults.shortLength) : reply;
    if (m_faults.garbage) {
        static const char kNoise[] = "#*?~@!%&ZQxyz";
        const int n = 1 + int(next() % 4);
        QByteArray noise;
        for (int i = 0; i < n; ++i) noise += kNoise[next() % (sizeof(kNoise) - 1)];
        out.prepend(noise);
    }
    return out;
}

}  // namespace tarsyn::sim
