#include "platform/audio/Mp3Stream.h"

#include <mpg123.h>

#include <algorithm>

namespace showsaver::audio {

namespace {

// Room for the samples of two frames beyond the bitrate's estimate, since
// block edges do not fall on frame edges.
constexpr size_t kFrameSlack = 2 * 1152;

}

void Mpg123Closer::operator()(mpg123_handle_struct* handle) const
{
    mpg123_delete(handle);
}

bool Mp3CodecPresent()
{
    return mpg123_init() == MPG123_OK && mpg123_feature(MPG123_FEATURE_OUTPUT_8BIT) != 0;
}

bool Mp3Stream::Open(const Mp3Description& source, const U8PcmFormat& pcm)
{
    Close();
    if (source.bytesPerSecond <= 0 || pcm.rate <= 0 || (pcm.channels != 1 && pcm.channels != 2))
        return false;
    int error = MPG123_OK;
    Mpg123Ptr handle(mpg123_new(nullptr, &error));
    if (!handle)
        return false;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    if (mpg123_format_none(handle.get()) != MPG123_OK
        || mpg123_format(handle.get(), pcm.rate, pcm.channels == 1 ? MPG123_MONO : MPG123_STEREO,
               MPG123_ENC_UNSIGNED_8) != MPG123_OK)
        return false;
    m_handle = std::move(handle);
    m_pcm = pcm;
    auto perSecond = static_cast<size_t>(pcm.rate) * static_cast<size_t>(pcm.channels);
    m_destinationSize = kSourceSize * perSecond / static_cast<size_t>(source.bytesPerSecond)
        + kFrameSlack * static_cast<size_t>(pcm.channels);
    return Restart();
}

bool Mp3Stream::Restart()
{
    mpg123_close(m_handle.get());
    return mpg123_open_feed(m_handle.get()) == MPG123_OK;
}

bool Mp3Stream::Prepare()
{
    if (!m_handle)
        return false;
    m_source.assign(kSourceSize, 0);
    m_destination.assign(m_destinationSize, 0);
    return true;
}

bool Mp3Stream::Convert(size_t length, BlockPosition position)
{
    m_produced = 0;
    m_used = 0;
    if (!m_handle || m_destination.empty() || length > m_source.size())
        return false;
    if (position == BlockPosition::First && !Restart())
        return false;
    if (length > 0 && mpg123_feed(m_handle.get(), m_source.data(), length) != MPG123_OK)
        return false;
    m_used = length;   // the decoder keeps whatever it did not decode yet
    return ReadAvailable();
}

bool Mp3Stream::ReadAvailable()
{
    while (m_produced < m_destination.size()) {
        size_t done = 0;
        int result = mpg123_read(m_handle.get(), m_destination.data() + m_produced,
            m_destination.size() - m_produced, &done);
        m_produced += done;
        if (result == MPG123_NEW_FORMAT && !HasAskedFormat())
            return false;
        if (result == MPG123_NEW_FORMAT || (result == MPG123_OK && done > 0))
            continue;
        if (result == MPG123_NEED_MORE || result == MPG123_DONE || result == MPG123_OK)
            return true;
        // A damaged stream ends this block's output; what came before stays.
        return m_produced > 0;
    }
    return true;
}

bool Mp3Stream::HasAskedFormat()
{
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    return mpg123_getformat(m_handle.get(), &rate, &channels, &encoding) == MPG123_OK && rate == m_pcm.rate
        && channels == m_pcm.channels && encoding == MPG123_ENC_UNSIGNED_8;
}

void Mp3Stream::Close()
{
    m_handle.reset();
    m_source.clear();
    m_destination.clear();
    m_produced = 0;
    m_used = 0;
}

}
