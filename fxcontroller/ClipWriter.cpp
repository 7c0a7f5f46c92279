#include "fxcontroller/ClipWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "platform/Platform.h"

namespace clipwriter {

namespace {

constexpr int kMaxThreads = 16;
constexpr int kMacroblock = 16;
constexpr int kIoBufferSize = 32768;  // libavformat's own for files

int WriteToFile(void* opaque, uint8_t* data, int size) {
  const int fd = *static_cast<int*>(opaque);
  for (int done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? AVERROR(errno) : AVERROR(EIO);
    done += static_cast<int>(n);
  }
  return size;
}

int64_t SeekInFile(void* opaque, int64_t offset, int whence) {
  const int fd = *static_cast<int*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
  }
  const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

}  // namespace

Rate ReducedRate(double fps) {
  Rate rate;
  rate.num = static_cast<int>(fps + 0.5);
  rate.den = 1;
  while (std::fabs(static_cast<double>(rate.num) / rate.den - fps) > 0.001) {
    rate.den *= 10;
    rate.num = static_cast<int>(fps * rate.den + 0.5);
  }
  return rate;
}

int64_t BitRate(double fps, int width, int height) {
  // The writer asks for fps * pixels, rounded to int; that figure then gains
  // half of itself twice, once in whole units and once in the unrounded
  // value, and is capped at INT_MAX.
  const double asked = std::min(fps * width * height, static_cast<double>(INT_MAX) / 2);
  const int rounded = static_cast<int>(asked + 0.5);
  int64_t rate = std::min(static_cast<int64_t>(rounded) + rounded / 2, static_cast<int64_t>(INT_MAX));
  rate = std::min(rate + static_cast<int64_t>(asked / 2), static_cast<int64_t>(INT_MAX));
  return rate;
}

int EncoderThreads(int requested, int height) {
  int threads = requested > 0 ? requested : platform::UsableProcessors();
  threads = std::min(threads, kMaxThreads);
  threads = std::min(threads, (height + kMacroblock - 1) / kMacroblock);
  return std::max(threads, 1);
}

int RequestedThreads() {
  const char* text = std::getenv("REELKA_ENCODER_THREADS");
  if (!text || !*text) return 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value <= 0 || value > INT_MAX) return 0;
  return static_cast<int>(value);
}

}  // namespace clipwriter

ClipWriter::~ClipWriter() { Close(); }

bool ClipWriter::Open(const std::string& path, double fps, int width, int height, int threads) {
  Close();
  mError = 0;
  width &= -2;
  height &= -2;
  if (path.empty() || !(fps > 0.0) || width <= 0 || height <= 0) return Fail(AVERROR(EINVAL));
  mWidth = width;
  mHeight = height;
  if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
  if (!OpenStream(path, fps, clipwriter::EncoderThreads(threads, height)) || !AllocatePictures()) {
    Free();
    return Fail(AVERROR_UNKNOWN);
  }
  const bool toFile = !(mFormat->oformat->flags & AVFMT_NOFILE);
  bool opened = !toFile || OpenFile(path);
  if (opened) {
    const int ret = avformat_write_header(mFormat, nullptr);
    opened = ret >= 0 || Fail(ret);
    if (opened && mFormat->pb && mFormat->pb->error < 0) opened = Fail(mFormat->pb->error);
  }
  if (!opened) {
    // Nothing is left behind: the file made here goes again, while the
    // name is still ours.
    struct stat made, named;
    const bool ours = mFile >= 0 && ::fstat(mFile, &made) == 0 && ::lstat(path.c_str(), &named) == 0 &&
                      made.st_dev == named.st_dev && made.st_ino == named.st_ino;
    Free();
    if (ours) ::unlink(path.c_str());
    return Fail(AVERROR(EIO));
  }
  mFrameIndex = 0;
  mOpen = true;
  return true;
}

bool ClipWriter::Fail(int error) {
  if (mError == 0) mError = error < 0 ? error : AVERROR(EIO);
  return false;
}

// The clip's file, made anew by this process and written through its
// descriptor, so that nothing planted at the name in the meantime is written.
bool ClipWriter::OpenFile(const std::string& path) {
  mFile = platform::OpenNewFile(path);
  if (mFile < 0) return Fail(AVERROR(errno));
  auto* buffer = static_cast<unsigned char*>(av_malloc(clipwriter::kIoBufferSize));
  if (buffer)
    mFormat->pb = avio_alloc_context(buffer, clipwriter::kIoBufferSize, 1, &mFile, nullptr, clipwriter::WriteToFile,
                                     clipwriter::SeekInFile);
  if (!mFormat->pb) {
    av_free(buffer);
    return false;
  }
  mFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
  return true;
}

// The container, its one stream and the opened encoder.
bool ClipWriter::OpenStream(const std::string& path, double fps, int threads) {
  const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!format || !codec) return false;
  unsigned int tag = MKTAG('m', 'p', '4', 'v');
  const AVCodecTag* const* tags = format->codec_tag;
  if (tags && av_codec_get_id(tags, tag) != AV_CODEC_ID_MPEG4) tag = av_codec_get_tag(tags, AV_CODEC_ID_MPEG4);

  mFormat = avformat_alloc_context();
  if (!mFormat) return false;
  mFormat->oformat = format;
  mFormat->url = av_strdup(path.c_str());
  mFormat->max_delay = static_cast<int>(0.7 * AV_TIME_BASE);
  mStream = avformat_new_stream(mFormat, nullptr);
  mCodec = avcodec_alloc_context3(codec);
  if (!mFormat->url || !mStream || !mCodec) return false;

  const clipwriter::Rate rate = clipwriter::ReducedRate(fps);
  const int64_t bitRate = clipwriter::BitRate(fps, mWidth, mHeight);
  mCodec->codec_tag = tag;
  mCodec->bit_rate = bitRate;
  mCodec->bit_rate_tolerance = static_cast<int>(bitRate);
  mCodec->qmin = 3;
  mCodec->width = mWidth;
  mCodec->height = mHeight;
  mCodec->time_base = AVRational{rate.den, rate.num};
  mCodec->gop_size = 12;
  mCodec->pix_fmt = AV_PIX_FMT_YUV420P;
  if (format->flags & AVFMT_GLOBALHEADER) mCodec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (threads > 1) {
    mCodec->thread_count = threads;
    mCodec->thread_type = FF_THREAD_SLICE;
  }
  mStream->avg_frame_rate = AVRational{rate.num, rate.den};
  mStream->time_base = mCodec->time_base;
  if (avcodec_open2(mCodec, codec, nullptr) < 0) return false;
  mThreads = threads > 1 ? mCodec->thread_count : 1;
  return avcodec_parameters_from_context(mStream->codecpar, mCodec) >= 0;
}

bool ClipWriter::AllocatePictures() {
  mPacket = av_packet_alloc();
  mPicture = av_frame_alloc();
  if (!mPacket || !mPicture) return false;
  mPicture->format = AV_PIX_FMT_YUV420P;
  mPicture->width = mWidth;
  mPicture->height = mHeight;
  const int size = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, mWidth, mHeight, 1);
  mPictureData = size > 0 ? static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size))) : nullptr;
  if (!mPictureData) return false;
  av_image_fill_arrays(mPicture->data, mPicture->linesize, mPictureData, AV_PIX_FMT_YUV420P, mWidth, mHeight, 1);
  mConvert = sws_getContext(mWidth, mHeight, AV_PIX_FMT_BGR24, mWidth, mHeight, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                            nullptr, nullptr, nullptr);
  return mConvert != nullptr;
}

bool ClipWriter::Write(const cv::Mat& bgr) {
  if (mError) return false;
  if (!mOpen || bgr.empty() || bgr.type() != CV_8UC3 || (bgr.cols & -2) != mWidth || (bgr.rows & -2) != mHeight)
    return false;
  const uint8_t* data = bgr.data;
  int step = static_cast<int>(bgr.step[0]);
  // The converter's vector loads may read up to 32 bytes past a row: rows
  // that are not 32-byte aligned, or that end near a page boundary, are
  // copied into a padded buffer first.
  constexpr int kAlign = 32;
  constexpr size_t kPage = ~static_cast<size_t>(4095);
  const size_t end = reinterpret_cast<size_t>(data) + static_cast<size_t>(mHeight) * static_cast<size_t>(step);
  if (step % kAlign != 0 || ((end - kAlign) & kPage) != ((end + kAlign) & kPage)) {
    const int alignedStep = (step + kAlign - 1) & ~(kAlign - 1);
    const size_t size = static_cast<size_t>(alignedStep) * static_cast<size_t>(mHeight) + kAlign;
    if (mAlignedInputSize < size) {
      av_freep(&mAlignedInput);
      mAlignedInput = static_cast<uint8_t*>(av_mallocz(size));
      mAlignedInputSize = mAlignedInput ? size : 0;
      if (!mAlignedInput) return Fail(AVERROR(ENOMEM));
    }
    // Only the row's pixels: a full step past the last row of a crop would
    // read beyond its picture.
    const size_t rowBytes = static_cast<size_t>(bgr.cols) * 3;
    for (int y = 0; y < mHeight; ++y)
      std::memcpy(mAlignedInput + static_cast<size_t>(y) * alignedStep, data + static_cast<size_t>(y) * step,
                  rowBytes);
    data = mAlignedInput;
    step = alignedStep;
  }
  const uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
  const int strides[4] = {step, 0, 0, 0};
  const int converted = sws_scale(mConvert, planes, strides, 0, mHeight, mPicture->data, mPicture->linesize);
  if (converted < 0) return Fail(converted);
  mHavePicture = true;
  return Encode(false);
}

bool ClipWriter::WriteRepeat() {
  if (mError || !mOpen || !mHavePicture) return false;
  return Encode(false);
}

// The first error of the encoder, the muxer or the file (a full disk, a
// file-size limit) ends the writing.
bool ClipWriter::Encode(bool flush) {
  if (mError) return false;
  int ret = 0;
  if (!flush) {
    mPicture->pts = mFrameIndex++;
    ret = avcodec_send_frame(mCodec, mPicture);
  } else if (mFrameIndex > 0) {
    ret = avcodec_send_frame(mCodec, nullptr);
  }
  if (ret < 0) return Fail(ret);
  for (;;) {
    ret = avcodec_receive_packet(mCodec, mPacket);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return Fail(ret);
    mPacket->stream_index = mStream->index;
    av_packet_rescale_ts(mPacket, mCodec->time_base, mStream->time_base);
    ret = av_write_frame(mFormat, mPacket);
    av_packet_unref(mPacket);
    if (ret < 0) return Fail(ret);
    if (mFormat->pb && mFormat->pb->error < 0) return Fail(mFormat->pb->error);
  }
}

bool ClipWriter::Close() {
  if (mOpen && Encode(true)) {
    const int ret = av_write_trailer(mFormat);
    if (ret < 0) Fail(ret);
  }
  if (mOpen && mFormat->pb) {
    avio_flush(mFormat->pb);
    if (mFormat->pb->error < 0) Fail(mFormat->pb->error);
  }
  Free();
  return mError == 0;
}

void ClipWriter::Free() {
  if (mFormat && mFormat->pb) {
    avio_flush(mFormat->pb);
    av_freep(&mFormat->pb->buffer);
    avio_context_free(&mFormat->pb);
  }
  if (mFile >= 0 && ::close(mFile) != 0) Fail(AVERROR(errno));
  mFile = -1;
  sws_freeContext(mConvert);
  mConvert = nullptr;
  av_frame_free(&mPicture);
  av_freep(&mPictureData);
  av_packet_free(&mPacket);
  avcodec_free_context(&mCodec);
  avformat_free_context(mFormat);
  mFormat = nullptr;
  mStream = nullptr;
  av_freep(&mAlignedInput);
  mAlignedInputSize = 0;
  mOpen = false;
  mHavePicture = false;
  mThreads = 1;
}
