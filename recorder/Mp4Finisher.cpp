#include "recorder/Mp4Finisher.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <vector>

namespace {

constexpr uint32_t Type(const char (&name)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 | static_cast<uint8_t>(name[3]);
}

// A moov or moof read whole is never larger than this: a header that says
// more is damage, not a box of ours.
constexpr uint64_t kMaxHeaderBoxBytes = 64u << 20;
// Samples of all tracks together: far beyond days of recording, and a bound
// on memory for a file that claims billions.
constexpr size_t kMaxSamples = size_t{1} << 24;
// Bit 16 of the sample flags: not a sync sample.
constexpr uint32_t kNonSync = 0x00010000;

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint64_t Be64(const uint8_t* p) { return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4); }

struct Box {
  uint64_t offset = 0;  // of its first byte, in its parent (or the file)
  uint64_t size = 0;    // all of it, header included
  uint32_t header = 8;
  uint32_t type = 0;
  bool toEnd = false;   // its size said "to the end of the file"
  uint64_t end() const { return offset + size; }
  uint64_t bodySize() const { return size - header; }
};

// A box's contents, in the memory that holds the box at `offset`.
const uint8_t* Body(const uint8_t* data, const Box& box) { return data + box.offset + box.header; }

// A box read whole into memory, as a box at 0.
Box Whole(const std::vector<uint8_t>& bytes) {
  Box box;
  box.size = bytes.size();
  box.header = bytes.size() >= 16 && Be32(bytes.data()) == 1 ? 16 : 8;
  return box;
}

// The header at `p`, of which `readable` bytes are there, of a box that may
// reach `room` bytes from its start; false when it does not fit.
bool Header(const uint8_t* p, uint64_t readable, uint64_t room, Box& box) {
  if (readable < 8 || room < 8) return false;
  const uint32_t small = Be32(p);
  box.type = Be32(p + 4);
  box.header = small == 1 ? 16 : 8;
  if (readable < box.header || room < box.header) return false;
  box.size = small == 1 ? Be64(p + 8) : small == 0 ? room : small;
  box.toEnd = small == 0;
  return box.size >= box.header && box.size <= room;
}

// The box at `offset` of `size` bytes of memory, when it is whole.
bool BoxAt(const uint8_t* data, uint64_t size, uint64_t offset, Box& box) {
  box.offset = offset;
  return offset <= size && Header(data + offset, size - offset, size - offset, box);
}


// The boxes that fill `size` bytes exactly; false when they do not.
bool Children(const uint8_t* data, uint64_t size, std::vector<Box>& boxes) {
  boxes.clear();
  for (uint64_t at = 0; at < size;) {
    Box box;
    if (!BoxAt(data, size, at, box)) return false;
    boxes.push_back(box);
    at = box.end();
  }
  return true;
}

const Box* Find(const std::vector<Box>& boxes, uint32_t type) {
  for (const Box& box : boxes) {
    if (box.type == type) return &box;
  }
  return nullptr;
}

// Reads a full box's fields, counting what is left.
class Fields {
 public:
  Fields(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  bool Has(uint64_t bytes) const { return bytes <= size_ - at_; }
  uint32_t U32() {
    if (!Has(4)) return fail();
    at_ += 4;
    return Be32(data_ + at_ - 4);
  }
  uint64_t U64() {
    if (!Has(8)) return fail();
    at_ += 8;
    return Be64(data_ + at_ - 8);
  }
  uint64_t Sized(bool wide) { return wide ? U64() : U32(); }
  bool ok() const { return ok_; }
  uint64_t at() const { return at_; }
  uint64_t left() const { return size_ - at_; }

 private:
  uint32_t fail() {
    ok_ = false;
    at_ = size_;
    return 0;
  }
  const uint8_t* data_;
  uint64_t size_;
  uint64_t at_ = 0;
  bool ok_ = true;
};

// The field after a full box's version, flags and two times (32 or 64 bits
// each, by the version): the timescale of an mvhd or mdhd, a tkhd's track.
bool FieldAfterTimes(const uint8_t* body, uint64_t size, uint32_t& field) {
  Fields f(body, size);
  const bool wide = (f.U32() >> 24) == 1;
  f.Sized(wide);
  f.Sized(wide);
  field = f.U32();
  return f.ok();
}

class Writer {
 public:
  std::vector<uint8_t> bytes;
  size_t Begin(const char (&type)[5]) {
    const size_t at = bytes.size();
    U32(0);
    U32(Type(type));
    return at;
  }
  size_t BeginFull(const char (&type)[5], uint8_t version, uint32_t flags = 0) {
    const size_t at = Begin(type);
    U32(static_cast<uint32_t>(version) << 24 | flags);
    return at;
  }
  void End(size_t at) {
    const uint32_t size = static_cast<uint32_t>(bytes.size() - at);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v >> 32));
    U32(static_cast<uint32_t>(v));
  }
  void Sized(uint64_t v, bool wide) { wide ? U64(v) : U32(static_cast<uint32_t>(v)); }
  void Copy(const uint8_t* data, uint64_t size) { bytes.insert(bytes.end(), data, data + size); }
};

struct Sample {
  uint64_t offset;
  uint32_t size;
  uint32_t duration;
  int32_t compositionOffset;
  uint32_t descriptionIndex;
  bool sync;
  bool chunkStart;  // the first of a run: a chunk of its own
};

// A track of the first moov and the samples the fragments give it.
struct Track {
  uint32_t id = 0;
  uint64_t trakOffset = 0;  // in the moov
  uint32_t timescale = 0;
  // Defaults from its trex.
  uint32_t descriptionIndex = 1, duration = 0, size = 0, flags = 0;
  std::vector<Sample> samples;
  uint64_t decodeEnd = 0;  // the decode time after its last sample
  bool compositionOffsets = false, negativeOffsets = false;
};

bool IsWide(uint64_t value) { return value > std::numeric_limits<uint32_t>::max(); }

// Where the media of a fragment (or of the first moov) may lie: the bodies of its mdats.
struct Range {
  uint64_t begin, end;
};

// The samples the first moov keeps itself: some writers put the first
// fragment's there. False when its tables disagree or point outside `media`.
bool ReadSampleTables(const uint8_t* stbl, uint64_t size, const std::vector<Range>& media, Track& track,
                      size_t& sampleCount) {
  std::vector<Box> table;
  if (!Children(stbl, size, table)) return false;
  const Box* stsz = Find(table, Type("stsz"));
  if (!stsz) return Find(table, Type("stz2")) == nullptr;
  Fields sizes(Body(stbl, *stsz), stsz->bodySize());
  sizes.U32();
  const uint32_t uniform = sizes.U32(), count = sizes.U32();
  if (!sizes.ok() || count == 0) return sizes.ok();
  // Each sample holds a byte at least: no more of them than the mdats hold bytes.
  uint64_t room = 0;
  for (const Range& m : media) room += m.end - m.begin;
  if (count > room) return false;
  sampleCount += count;
  const Box* stts = Find(table, Type("stts"));
  const Box* stsc = Find(table, Type("stsc"));
  const Box* stco = Find(table, Type("stco"));
  const Box* co64 = Find(table, Type("co64"));
  if (sampleCount > kMaxSamples || (uniform == 0 && count > sizes.left() / 4) || !stts || !stsc || !(stco || co64)) {
    return false;
  }
  const size_t first = track.samples.size();
  track.samples.resize(first + count, Sample{0, uniform, 0, 0, 1, true, false});
  Sample* s = track.samples.data() + first;
  for (uint32_t i = 0; uniform == 0 && i < count; ++i) s[i].size = sizes.U32();
  // Runs of durations, and of composition offsets, over all the samples.
  auto runs = [&](const Box* box, auto apply) {
    Fields f(Body(stbl, *box), box->bodySize());
    const bool version1 = (f.U32() >> 24) == 1;
    uint64_t at = 0;
    for (uint32_t entries = f.U32(); entries > 0 && f.ok() && at < count; --entries) {
      const uint32_t n = f.U32(), value = f.U32();
      for (uint32_t k = 0; k < n && at < count; ++k) apply(s[at++], value, version1);
    }
    return f.ok() && at == count;
  };
  if (!runs(stts, [&](Sample& x, uint32_t v, bool) { x.duration = v; })) return false;
  if (const Box* ctts = Find(table, Type("ctts"))) {
    auto offset = [&](Sample& x, uint32_t v, bool version1) {
      x.compositionOffset = version1 ? static_cast<int32_t>(v) : static_cast<int32_t>(std::min<uint32_t>(v, INT32_MAX));
      track.compositionOffsets |= x.compositionOffset != 0;
      track.negativeOffsets |= x.compositionOffset < 0;
    };
    if (!runs(ctts, offset)) return false;
  }
  if (const Box* stss = Find(table, Type("stss"))) {
    Fields f(Body(stbl, *stss), stss->bodySize());
    f.U32();
    for (uint32_t i = 0; i < count; ++i) s[i].sync = false;
    for (uint32_t n = f.U32(); n > 0 && f.ok(); --n) {
      const uint32_t index = f.U32();
      if (index >= 1 && index <= count) s[index - 1].sync = true;
    }
  }
  // Chunks: each a run of samples one after the other from its offset.
  const bool wide = co64 != nullptr;
  Fields offsets(Body(stbl, wide ? *co64 : *stco), (wide ? co64 : stco)->bodySize());
  Fields chunks(Body(stbl, *stsc), stsc->bodySize());
  offsets.U32();
  chunks.U32();
  const uint32_t chunkCount = offsets.U32();
  uint32_t entries = chunks.U32(), next = entries ? chunks.U32() : 0, perChunk = 0, description = 1;
  uint64_t at = 0;
  for (uint32_t chunk = 1; chunk <= chunkCount && at < count && offsets.ok() && chunks.ok(); ++chunk) {
    while (entries > 0 && next == chunk) {
      perChunk = chunks.U32();
      description = chunks.U32();
      next = --entries ? chunks.U32() : 0;
    }
    uint64_t data = offsets.Sized(wide);
    const auto in = std::find_if(media.begin(), media.end(), [&](const Range& m) { return data >= m.begin && data < m.end; });
    for (uint32_t k = 0; k < perChunk && at < count; ++k, ++at) {
      if (in == media.end() || s[at].size == 0 || s[at].size > in->end - data) return false;
      s[at].offset = data;
      s[at].descriptionIndex = description;
      s[at].chunkStart = k == 0;
      data += s[at].size;
      track.decodeEnd += s[at].duration;
    }
  }
  return at == count && offsets.ok() && chunks.ok();
}

// The moov the fragments hang off: its tracks and their defaults. False
// when it has no mvex (not a fragmented file) or cannot be read.
bool ReadFirstMoov(const std::vector<uint8_t>& moov, const std::vector<Range>& ownMedia, uint32_t& movieTimescale,
                   std::vector<Track>& tracks, size_t& sampleCount) {
  const Box whole = Whole(moov);
  const uint8_t* body = Body(moov.data(), whole);
  std::vector<Box> children;
  if (!Children(body, whole.bodySize(), children) || !Find(children, Type("mvex"))) return false;
  const Box* mvhd = Find(children, Type("mvhd"));
  if (!mvhd) return false;
  if (!FieldAfterTimes(Body(body, *mvhd), mvhd->bodySize(), movieTimescale) || movieTimescale == 0) return false;

  std::vector<Box> inner, media, info;
  for (const Box& box : children) {
    if (box.type != Type("trak")) continue;
    Track track;
    track.trakOffset = box.offset;
    const uint8_t* trak = Body(body, box);
    if (!Children(trak, box.bodySize(), inner)) return false;
    const Box* tkhd = Find(inner, Type("tkhd"));
    const Box* mdia = Find(inner, Type("mdia"));
    if (!tkhd || !mdia || !Children(Body(trak, *mdia), mdia->bodySize(), media)) return false;
    const Box* mdhd = Find(media, Type("mdhd"));
    if (!mdhd || !FieldAfterTimes(Body(trak, *tkhd), tkhd->bodySize(), track.id) ||
        !FieldAfterTimes(Body(Body(trak, *mdia), *mdhd), mdhd->bodySize(), track.timescale) || track.timescale == 0) {
      return false;
    }
    const uint8_t* mdiaBody = Body(trak, *mdia);
    const Box* minf = Find(media, Type("minf"));
    if (!minf || !Children(Body(mdiaBody, *minf), minf->bodySize(), info)) return false;
    const Box* stbl = Find(info, Type("stbl"));
    if (!stbl || !ReadSampleTables(Body(Body(mdiaBody, *minf), *stbl), stbl->bodySize(), ownMedia, track, sampleCount)) {
      return false;
    }
    tracks.push_back(track);
  }
  const Box* mvex = Find(children, Type("mvex"));
  if (!Children(Body(body, *mvex), mvex->bodySize(), inner)) return false;
  for (const Box& box : inner) {
    if (box.type != Type("trex")) continue;
    Fields f(Body(Body(body, *mvex), box), box.bodySize());
    f.U32();
    const uint32_t id = f.U32();
    for (Track& track : tracks) {
      if (track.id != id) continue;
      track.descriptionIndex = f.U32();
      track.duration = f.U32();
      track.size = f.U32();
      track.flags = f.U32();
    }
    if (!f.ok()) return false;
  }
  return !tracks.empty();
}

// Adds one fragment's samples to the tracks. False (and the tracks as they
// were) when the moof contradicts itself or points outside its mdats.
bool ReadFragmentSamples(const std::vector<uint8_t>& moof, uint64_t moofOffset, const std::vector<Range>& media,
                         std::vector<Track>& added, size_t& sampleCount) {
  std::vector<Box> children, parts;
  const Box whole = Whole(moof);
  const uint8_t* body = Body(moof.data(), whole);
  if (!Children(body, whole.bodySize(), children) || !Find(children, Type("mfhd"))) return false;
  uint64_t previousEnd = moofOffset;
  bool firstTraf = true, any = false;
  for (const Box& traf : children) {
    if (traf.type != Type("traf")) continue;
    const uint8_t* trafBody = Body(body, traf);
    if (!Children(trafBody, traf.bodySize(), parts)) return false;
    const Box* tfhd = Find(parts, Type("tfhd"));
    if (!tfhd) return false;
    Fields h(Body(trafBody, *tfhd), tfhd->bodySize());
    const uint32_t flags = h.U32() & 0xffffff;
    const uint32_t id = h.U32();
    auto track = std::find_if(added.begin(), added.end(), [id](const Track& t) { return t.id == id; });
    if (track == added.end()) return false;
    uint64_t base = firstTraf || (flags & 0x020000) ? moofOffset : previousEnd;
    if (flags & 0x01) base = h.U64();
    const uint32_t sdi = flags & 0x02 ? h.U32() : track->descriptionIndex;
    const uint32_t duration = flags & 0x08 ? h.U32() : track->duration;
    const uint32_t size = flags & 0x10 ? h.U32() : track->size;
    const uint32_t sampleFlags = flags & 0x20 ? h.U32() : track->flags;
    if (!h.ok()) return false;
    firstTraf = false;

    // The decode time the fragment says it starts at is trusted over the
    // durations summed so far: the last sample before it lasts until then.
    if (const Box* tfdt = Find(parts, Type("tfdt"))) {
      Fields d(Body(trafBody, *tfdt), tfdt->bodySize());
      const uint64_t start = d.Sized((d.U32() >> 24) == 1);
      if (!d.ok()) return false;
      if (!track->samples.empty()) {
        Sample& last = track->samples.back();
        const uint64_t lastStart = track->decodeEnd - last.duration;
        if (start >= lastStart && start - lastStart <= std::numeric_limits<uint32_t>::max()) {
          last.duration = static_cast<uint32_t>(start - lastStart);
          track->decodeEnd = start;
        }
      } else {
        track->decodeEnd = start;
      }
    }

    uint64_t dataAt = base;
    for (const Box& trun : parts) {
      if (trun.type != Type("trun")) continue;
      Fields r(Body(trafBody, trun), trun.bodySize());
      const uint32_t head = r.U32();
      const bool signedOffsets = (head >> 24) != 0;
      const uint32_t runFlags = head & 0xffffff;
      const uint32_t count = r.U32();
      if (runFlags & 0x01) dataAt = base + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(r.U32())));
      const uint32_t firstFlags = runFlags & 0x04 ? r.U32() : sampleFlags;
      const uint64_t perSample = 4u * (((runFlags & 0x100) != 0) + ((runFlags & 0x200) != 0) +
                                       ((runFlags & 0x400) != 0) + ((runFlags & 0x800) != 0));
      if (!r.ok() || (perSample && count > r.left() / perSample)) return false;
      if (count == 0) continue;
      sampleCount += count;
      if (sampleCount > kMaxSamples) return false;
      // The run lies within one mdat, whatever it claims.
      const auto in = std::find_if(media.begin(), media.end(), [&](const Range& m) { return dataAt >= m.begin && dataAt < m.end; });
      if (in == media.end()) return false;
      for (uint32_t i = 0; i < count; ++i) {
        Sample s{dataAt, size, duration, 0, sdi, true, i == 0};
        if (runFlags & 0x100) s.duration = r.U32();
        if (runFlags & 0x200) s.size = r.U32();
        uint32_t f = i == 0 ? firstFlags : sampleFlags;
        if (runFlags & 0x400) f = r.U32();
        if (runFlags & 0x800) {
          const uint32_t raw = r.U32();
          s.compositionOffset = signedOffsets ? static_cast<int32_t>(raw) : static_cast<int32_t>(std::min<uint32_t>(raw, INT32_MAX));
        }
        s.sync = !(f & kNonSync);
        // A sample of no bytes would let a few header bytes claim endless samples.
        if (s.size == 0 || s.size > in->end - dataAt) return false;
        dataAt += s.size;
        track->compositionOffsets |= s.compositionOffset != 0;
        track->negativeOffsets |= s.compositionOffset < 0;
        track->decodeEnd += s.duration;
        track->samples.push_back(s);
      }
      any = true;
    }
    previousEnd = dataAt;
  }
  return any;
}

// The same, leaving the tracks as they were when the fragment is refused.
bool ReadFragment(const std::vector<uint8_t>& moof, uint64_t moofOffset, const std::vector<Range>& media,
                  std::vector<Track>& tracks, size_t& sampleCount) {
  struct Before {
    size_t samples;
    uint64_t decodeEnd;
    uint32_t lastDuration;
    bool compositionOffsets, negativeOffsets;
  };
  std::vector<Before> before;
  for (const Track& t : tracks) {
    before.push_back({t.samples.size(), t.decodeEnd, t.samples.empty() ? 0 : t.samples.back().duration,
                      t.compositionOffsets, t.negativeOffsets});
  }
  const size_t countBefore = sampleCount;
  if (ReadFragmentSamples(moof, moofOffset, media, tracks, sampleCount)) return true;
  for (size_t i = 0; i < tracks.size(); ++i) {
    Track& t = tracks[i];
    t.samples.resize(before[i].samples);
    if (!t.samples.empty()) t.samples.back().duration = before[i].lastDuration;
    t.decodeEnd = before[i].decodeEnd;
    t.compositionOffsets = before[i].compositionOffsets;
    t.negativeOffsets = before[i].negativeOffsets;
  }
  sampleCount = countBefore;
  return false;
}

// ---- The moov of the finished file.

// An mvhd, tkhd or mdhd with a new duration, made 64-bit when it needs to be.
// `between` is what lies between the times and the duration.
bool TimedHeader(Writer& out, const char (&type)[5], const uint8_t* body, uint64_t size, uint32_t between,
                 uint64_t duration) {
  Fields f(body, size);
  const uint32_t head = f.U32();
  const bool wide = (head >> 24) == 1;
  const uint64_t created = f.Sized(wide), modified = f.Sized(wide);
  const uint64_t middle = f.at();
  const uint64_t rest = middle + between + (wide ? 8 : 4);
  if (!f.ok() || rest > size) return false;
  const bool outWide = wide || IsWide(duration) || IsWide(created) || IsWide(modified);
  const size_t at = out.BeginFull(type, outWide ? 1 : 0, head & 0xffffff);
  out.Sized(created, outWide);
  out.Sized(modified, outWide);
  out.Copy(body + middle, between);
  out.Sized(duration, outWide);
  out.Copy(body + rest, size - rest);
  out.End(at);
  return true;
}

uint64_t Scale(uint64_t value, uint32_t from, uint32_t to) {
  const long double scaled = static_cast<long double>(value) * to / from;
  return scaled >= 1.8e19L ? std::numeric_limits<uint64_t>::max() : static_cast<uint64_t>(scaled);
}

void SampleTables(Writer& out, const Track& track, const uint8_t* stsd, uint64_t stsdSize) {
  const std::vector<Sample>& s = track.samples;
  const size_t stbl = out.Begin("stbl");
  out.Copy(stsd, stsdSize);

  // Runs of equal values, as stts and ctts keep them.
  auto runs = [&](const char (&type)[5], uint8_t version, auto value) {
    std::vector<std::pair<uint32_t, uint32_t>> list;
    for (const Sample& sample : s) {
      const uint32_t v = value(sample);
      if (!list.empty() && list.back().second == v) {
        ++list.back().first;
      } else {
        list.push_back({1, v});
      }
    }
    const size_t at = out.BeginFull(type, version);
    out.U32(static_cast<uint32_t>(list.size()));
    for (const auto& run : list) {
      out.U32(run.first);
      out.U32(run.second);
    }
    out.End(at);
  };
  runs("stts", 0, [](const Sample& x) { return x.duration; });
  if (track.compositionOffsets) {
    runs("ctts", track.negativeOffsets ? 1 : 0, [](const Sample& x) { return static_cast<uint32_t>(x.compositionOffset); });
  }
  if (std::any_of(s.begin(), s.end(), [](const Sample& x) { return !x.sync; })) {
    std::vector<uint32_t> sync;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i].sync) sync.push_back(static_cast<uint32_t>(i + 1));
    }
    const size_t at = out.BeginFull("stss", 0);
    out.U32(static_cast<uint32_t>(sync.size()));
    for (uint32_t index : sync) out.U32(index);
    out.End(at);
  }

  // A chunk per run of a trun: its samples lie one after the other.
  std::vector<uint64_t> chunks;
  std::vector<uint32_t> perChunk, description;
  for (const Sample& sample : s) {
    if (sample.chunkStart || chunks.empty()) {
      chunks.push_back(sample.offset);
      perChunk.push_back(0);
      description.push_back(sample.descriptionIndex);
    }
    ++perChunk.back();
  }
  size_t at = out.BeginFull("stsc", 0);
  const size_t countAt = out.bytes.size();
  out.U32(0);
  uint32_t entries = 0;
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (i > 0 && perChunk[i] == perChunk[i - 1] && description[i] == description[i - 1]) continue;
    out.U32(static_cast<uint32_t>(i + 1));
    out.U32(perChunk[i]);
    out.U32(description[i]);
    ++entries;
  }
  for (int i = 0; i < 4; ++i) out.bytes[countAt + i] = static_cast<uint8_t>(entries >> (24 - 8 * i));
  out.End(at);

  const bool uniform = !s.empty() && std::all_of(s.begin(), s.end(), [&](const Sample& x) { return x.size == s[0].size; });
  at = out.BeginFull("stsz", 0);
  out.U32(uniform ? s[0].size : 0);
  out.U32(static_cast<uint32_t>(s.size()));
  if (!uniform) {
    for (const Sample& sample : s) out.U32(sample.size);
  }
  out.End(at);

  const bool wide = std::any_of(chunks.begin(), chunks.end(), [](uint64_t c) { return IsWide(c); });
  at = out.BeginFull(wide ? "co64" : "stco", 0);
  out.U32(static_cast<uint32_t>(chunks.size()));
  for (uint64_t offset : chunks) out.Sized(offset, wide);
  out.End(at);
  out.End(stbl);
}

// The edit list with its open-ended entries (a fragmented file cannot know
// its length) given the track's length; the track's length in the movie's units.
uint64_t EditList(Writer& out, const uint8_t* body, uint64_t size, uint64_t mediaDuration, uint32_t mediaScale,
                  uint32_t movieScale) {
  Fields f(body, size);
  const bool wide = (f.U32() >> 24) == 1;
  const uint32_t count = f.U32();
  struct Entry {
    uint64_t duration;
    int64_t mediaTime;
    uint32_t rate;
  };
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < count && f.ok() && f.Has(wide ? 20 : 12); ++i) {
    Entry e;
    e.duration = f.Sized(wide);
    e.mediaTime = wide ? static_cast<int64_t>(f.U64()) : static_cast<int32_t>(f.U32());
    e.rate = f.U32();
    if (e.duration == 0 && e.mediaTime >= 0) {
      const uint64_t media = static_cast<uint64_t>(e.mediaTime);
      e.duration = Scale(mediaDuration > media ? mediaDuration - media : 0, mediaScale, movieScale);
    }
    entries.push_back(e);
  }
  uint64_t total = 0;
  bool outWide = false;
  for (const Entry& e : entries) {
    total += e.duration;
    outWide |= IsWide(e.duration) || e.mediaTime > INT32_MAX || e.mediaTime < INT32_MIN;
  }
  const size_t edts = out.Begin("edts");
  const size_t elst = out.BeginFull("elst", outWide ? 1 : 0);
  out.U32(static_cast<uint32_t>(entries.size()));
  for (const Entry& e : entries) {
    out.Sized(e.duration, outWide);
    out.Sized(static_cast<uint64_t>(e.mediaTime), outWide);
    out.U32(e.rate);
  }
  out.End(elst);
  out.End(edts);
  return total;
}

uint64_t MediaDuration(const Track& track) {
  uint64_t total = 0;
  for (const Sample& s : track.samples) total += s.duration;
  return total;
}

// A trak with the track's samples in its tables; returns its length in the
// movie's units, or nothing is written and false when it cannot be read.
bool Trak(Writer& out, const uint8_t* body, uint64_t size, const Track& track, uint32_t movieScale, uint64_t& length) {
  std::vector<Box> children, media, info, table;
  if (!Children(body, size, children)) return false;
  const uint64_t mediaDuration = MediaDuration(track);
  length = Scale(mediaDuration, track.timescale, movieScale);
  // The edit list first: the track header's duration is its length.
  Writer edits;
  if (const Box* edts = Find(children, Type("edts"))) {
    std::vector<Box> list;
    if (!Children(Body(body, *edts), edts->bodySize(), list)) return false;
    if (const Box* elst = Find(list, Type("elst"))) {
      length = EditList(edits, Body(Body(body, *edts), *elst), elst->bodySize(), mediaDuration, track.timescale,
                        movieScale);
    }
  }
  const size_t trak = out.Begin("trak");
  for (const Box& box : children) {
    const uint8_t* inner = body + box.offset + box.header;
    const uint64_t innerSize = box.size - box.header;
    if (box.type == Type("tkhd")) {
      if (!TimedHeader(out, "tkhd", inner, innerSize, 8, length)) return false;
    } else if (box.type == Type("edts")) {
      out.Copy(edits.bytes.data(), edits.bytes.size());
    } else if (box.type == Type("mdia")) {
      if (!Children(inner, innerSize, media)) return false;
      const size_t mdia = out.Begin("mdia");
      for (const Box& m : media) {
        const uint8_t* mBody = inner + m.offset + m.header;
        if (m.type == Type("mdhd")) {
          if (!TimedHeader(out, "mdhd", mBody, m.bodySize(), 4, mediaDuration)) return false;
        } else if (m.type == Type("minf")) {
          if (!Children(mBody, m.bodySize(), info)) return false;
          const size_t minf = out.Begin("minf");
          for (const Box& i : info) {
            const uint8_t* iBody = mBody + i.offset;
            if (i.type != Type("stbl")) {
              out.Copy(iBody, i.size);
              continue;
            }
            if (!Children(iBody + i.header, i.bodySize(), table)) return false;
            const Box* stsd = Find(table, Type("stsd"));
            if (!stsd) return false;
            SampleTables(out, track, iBody + i.header + stsd->offset, stsd->size);
          }
          out.End(minf);
        } else {
          out.Copy(inner + m.offset, m.size);
        }
      }
      out.End(mdia);
    } else {
      out.Copy(body + box.offset, box.size);
    }
  }
  out.End(trak);
  return true;
}

// The whole moov of the finished file, from the first one and the tracks;
// empty when it cannot be made.
std::vector<uint8_t> BuildMoov(const std::vector<uint8_t>& first, uint32_t movieScale, const std::vector<Track>& tracks) {
  const Box whole = Whole(first);
  const uint8_t* body = Body(first.data(), whole);
  std::vector<Box> children;
  Writer out;
  if (!Children(body, whole.bodySize(), children)) return {};
  uint64_t longest = 0;
  Writer traks;
  for (const Track& track : tracks) {
    const Box* box = nullptr;
    for (const Box& b : children) {
      if (b.offset == track.trakOffset) box = &b;
    }
    uint64_t length = 0;
    if (!box || !Trak(traks, Body(body, *box), box->bodySize(), track, movieScale, length)) return {};
    longest = std::max(longest, length);
  }
  const size_t moov = out.Begin("moov");
  bool traksWritten = false;
  for (const Box& box : children) {
    if (box.type == Type("mvhd")) {
      if (!TimedHeader(out, "mvhd", Body(body, box), box.bodySize(), 4, longest)) return {};
    } else if (box.type == Type("trak")) {
      if (!traksWritten) out.Copy(traks.bytes.data(), traks.bytes.size());
      traksWritten = true;
    } else if (box.type != Type("mvex")) {
      out.Copy(body + box.offset, box.size);
    }
  }
  if (out.bytes.size() > std::numeric_limits<uint32_t>::max()) return {};
  out.End(moov);
  return out.bytes;
}

// ---- The file.

// The file, noting whether any read failed: what could not be read is not
// a torn end to cut, and a file read so is left alone.
class WatchedReads final : public Mp4File {
 public:
  explicit WatchedReads(Mp4File& file) : file_(file) {}
  bool failed() const { return failed_; }
  uint64_t Size() override { return file_.Size(); }
  bool Read(uint64_t offset, void* data, size_t size) override {
    const bool read = file_.Read(offset, data, size);
    failed_ |= !read;
    return read;
  }
  bool Write(uint64_t offset, const void* data, size_t size) override { return file_.Write(offset, data, size); }
  bool SetSize(uint64_t size) override { return file_.SetSize(size); }
  bool Flush() override { return file_.Flush(); }

 private:
  Mp4File& file_;
  bool failed_ = false;
};

bool ReadWhole(Mp4File& file, const Box& box, std::vector<uint8_t>& bytes) {
  if (box.size > kMaxHeaderBoxBytes) return false;
  bytes.resize(static_cast<size_t>(box.size));
  return file.Read(box.offset, bytes.data(), bytes.size());
}

// The top-level boxes that are whole, up to a torn box or bytes that are no box.
std::vector<Box> TopLevel(Mp4File& file, uint64_t fileSize) {
  std::vector<Box> boxes;
  uint64_t at = 0;
  while (fileSize - at >= 8) {
    uint8_t head[16] = {};
    const uint64_t want = std::min<uint64_t>(16, fileSize - at);
    if (!file.Read(at, head, static_cast<size_t>(want))) break;
    Box box;
    box.offset = at;
    bool printable = true;
    for (int i = 4; i < 8; ++i) printable &= head[i] >= 0x20 && head[i] <= 0x7e;
    if (!printable || !Header(head, want, fileSize - at, box)) break;
    boxes.push_back(box);
    at += box.size;
  }
  return boxes;
}

// Whether a box read whole holds a child of each type.
bool HasChildren(const std::vector<uint8_t>& box, std::initializer_list<uint32_t> types) {
  std::vector<Box> children;
  const Box whole = Whole(box);
  return Children(Body(box.data(), whole), whole.bodySize(), children) &&
         std::all_of(types.begin(), types.end(), [&](uint32_t type) { return Find(children, type) != nullptr; });
}

bool HasMvex(const std::vector<uint8_t>& moov) { return HasChildren(moov, {Type("mvex")}); }

// A `free` box that an earlier finish made of the first moov.
bool HiddenFirstMoov(Mp4File& file, const Box& box, std::vector<uint8_t>& bytes) {
  return ReadWhole(file, box, bytes) && HasChildren(bytes, {Type("mvhd"), Type("mvex")});
}

// The first child's type of a box, for a `free` box that hid a moof.
uint32_t FirstChild(Mp4File& file, const Box& box) {
  uint8_t head[8];
  if (box.size < box.header + 8 || !file.Read(box.offset + box.header, head, 8)) return 0;
  return Be32(head + 4);
}

}  // namespace

const char* FinishOutcomeName(FinishOutcome outcome) {
  switch (outcome) {
    case FinishOutcome::Finished: return "Finished";
    case FinishOutcome::AlreadyFinished: return "AlreadyFinished";
    case FinishOutcome::NotMp4: return "NotMp4";
    case FinishOutcome::NoFragments: return "NoFragments";
    case FinishOutcome::Damaged: return "Damaged";
    case FinishOutcome::WriteFailed: return "WriteFailed";
  }
  return "?";
}

FinishResult FinishFragmentedMp4(Mp4File& disk) {
  FinishResult result;
  WatchedReads file(disk);
  const uint64_t fileSize = file.Size();
  const std::vector<Box> boxes = TopLevel(file, fileSize);
  if (boxes.empty() || boxes[0].type != Type("ftyp")) return result;

  // The first moov (perhaps hidden by an earlier finish), the fragments
  // after it (each a moof and the mdats after it) and the indexes of them.
  // A moov after the fragments is an earlier finish's (or a torn part of
  // one): it and all after it are written again.
  struct Fragment {
    Box moof;
    bool hidden;
    std::vector<Range> media;
    Box last;  // its last box
  };
  std::vector<uint8_t> first;
  Box firstBox;
  bool firstHidden = false, finishedBefore = false;
  std::vector<Fragment> fragments;
  std::vector<Box> toHide;  // moofs and their indexes still in sight
  std::vector<Range> ownMedia;
  for (size_t at = 1; at < boxes.size() && !finishedBefore; ++at) {
    const Box& box = boxes[at];
    const bool freeBox = box.type == Type("free") || box.type == Type("skip");
    const uint32_t inside = freeBox ? FirstChild(file, box) : 0;
    std::vector<uint8_t> bytes;
    if (box.type == Type("moov") && !fragments.empty()) {
      finishedBefore = true;
    } else if (box.type == Type("moov")) {
      const bool read = ReadWhole(file, box, bytes);
      if (!read || !first.empty()) {
        result.outcome = FinishOutcome::Damaged;
        return result;
      }
      if (!HasMvex(bytes)) {
        result.outcome = FinishOutcome::AlreadyFinished;  // a plain MP4
        return result;
      }
      first.swap(bytes);
      firstBox = box;
    } else if (freeBox && first.empty() && fragments.empty() && HiddenFirstMoov(file, box, bytes)) {
      first.swap(bytes);
      firstBox = box;
      firstHidden = true;
    } else if (box.type == Type("moof") || (freeBox && inside == Type("mfhd"))) {
      if (first.empty()) return result;
      fragments.push_back({box, freeBox, {}, box});
    } else if (box.type == Type("mdat") && !fragments.empty()) {
      fragments.back().media.push_back({box.offset + box.header, box.end()});
      fragments.back().last = box;
    } else if (box.type == Type("mdat")) {
      ownMedia.push_back({box.offset + box.header, box.end()});  // the first moov's samples, if any
    } else if ((box.type == Type("sidx") || box.type == Type("mfra")) && !first.empty()) {
      toHide.push_back(box);
    }
  }
  uint32_t movieScale = 0;
  std::vector<Track> tracks;
  size_t sampleCount = 0;
  if (first.empty()) return result;
  if (!ReadFirstMoov(first, ownMedia, movieScale, tracks, sampleCount)) {
    result.outcome = FinishOutcome::Damaged;
    return result;
  }
  // A fragment that does not hold together ends the file there only when
  // it is the last (a torn end); anywhere else the file is not one to change.
  std::vector<uint8_t> moof;
  for (size_t i = 0; i < fragments.size(); ++i) {
    const Fragment& f = fragments[i];
    if (!ReadWhole(file, f.moof, moof) || !ReadFragment(moof, f.moof.offset, f.media, tracks, sampleCount)) {
      if (i + 1 < fragments.size() || finishedBefore) {
        result.outcome = FinishOutcome::Damaged;
        return result;
      }
      fragments.pop_back();
      break;
    }
    if (!f.hidden) toHide.push_back(f.moof);
  }
  if (fragments.empty()) {
    result.outcome = FinishOutcome::NoFragments;
    return result;
  }
  const Box& lastBox = fragments.back().last;
  const uint64_t end = lastBox.end();
  // Indexes after the last whole fragment go with what is cut.
  toHide.erase(std::remove_if(toHide.begin(), toHide.end(), [end](const Box& b) { return b.offset >= end; }),
               toHide.end());
  std::sort(toHide.begin(), toHide.end(), [](const Box& a, const Box& b) { return a.offset < b.offset; });

  const std::vector<uint8_t> moov = BuildMoov(first, movieScale, tracks);
  // An mdat "to the end of the file" would take the moov in: it gets its size.
  uint8_t size[4] = {};
  if (moov.empty() || (lastBox.toEnd && (IsWide(lastBox.size) || lastBox.header != 8))) {
    result.outcome = FinishOutcome::Damaged;
    return result;
  }
  for (int i = 0; i < 4; ++i) size[i] = static_cast<uint8_t>(lastBox.size >> (24 - 8 * i));
  result.fragments = static_cast<uint32_t>(fragments.size());
  for (const Track& track : tracks) {
    result.durationMs = std::max(result.durationMs, Scale(MediaDuration(track), track.timescale, 1000));
  }
  const uint64_t finishedSize = end + moov.size();
  result.bytesCut = finishedBefore || fileSize <= end ? 0 : fileSize - end;

  // The new moov first, on the disk before anything is hidden: a cut from
  // here on leaves a file the next run finishes the same way.
  std::vector<uint8_t> present(moov.size());
  const bool moovInPlace =
      fileSize == finishedSize && file.Read(end, present.data(), present.size()) && present == moov;
  if (file.failed()) return FinishResult{};
  // Finished before, all of it: nothing is left to do.
  if (moovInPlace && firstHidden && toHide.empty() && !lastBox.toEnd) {
    result.outcome = FinishOutcome::AlreadyFinished;
    return result;
  }
  result.outcome = FinishOutcome::WriteFailed;
  if (lastBox.toEnd && !file.Write(lastBox.offset, size, 4)) return result;
  if (!moovInPlace) {
    if (!file.Write(end, moov.data(), moov.size()) || !file.SetSize(finishedSize) || !file.Flush()) return result;
  }
  static const uint8_t kFree[4] = {'f', 'r', 'e', 'e'};
  for (const Box& box : toHide) {
    if (!file.Write(box.offset + 4, kFree, 4)) return result;
  }
  // The first moov last: until then, players still find the fragments.
  if (!firstHidden && !file.Write(firstBox.offset + 4, kFree, 4)) return result;
  if (!file.Flush()) return result;
  result.outcome = FinishOutcome::Finished;
  return result;
}
