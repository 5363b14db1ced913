#include "packer.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <system_error>

#include "compress_ahead.h"
#include "entry_cipher.h"
#include "entry_data.h"
#include "inputs.h"
#include "installer.h"
#include "platform/host.h"
#include "progress.h"
#include "source_zip.h"
#include "volume_writer.h"
#include "zip_records.h"

namespace fs = std::filesystem;

namespace extractor::pack {
namespace {

// Volumes take no ZIP64 records (a single file takes them as needed).
constexpr size_t kMostVolumeEntries = 0xFFFF;
constexpr size_t kSpoolInMemory = 64u << 20;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint32_t kArchiveAttribute = 0x20;

std::atomic<bool> stopRequested{false};

std::string tooManyForVolumes(size_t count) {
  return "too many entries (" + std::to_string(count) +
         "): volumes hold at most 65,535, as --split and --disks write no ZIP64 records";
}

Error stopped() {
  if (stopRequested) return std::string("interrupted");
  return std::nullopt;
}

// One entry of the directory and where its local header went.
struct DirectoryEntry {
  CentralEntry central;
  VolumeLocation at;
};

std::string volumesNeedZip64(const std::string& name) {
  return "cannot pack " + name +
         " into volumes: an entry of 4 GB or more needs ZIP64, which --split and --disks do "
         "not write";
}

// The extractor finds its own AES entries' block at the start of the
// central extra field, where a ZIP64 field would have to go.
std::string aesNeedsZip64(const std::string& name) {
  return "cannot pack " + name +
         ": entries with the extractor's AES stay below 4 GB and within the first 4 GB of the "
         "archive (use --encryption traditional for larger archives)";
}

Error readProgram(const Options& options, std::vector<uint8_t>& program) {
  fs::path stub = fs::u8path(options.stub);
  if (options.stub.empty()) {
    stub = fs::u8path(platform::executablePath()).parent_path() / "extractor.exe";
  }
  std::error_code error;
  if (!fs::is_regular_file(stub, error)) {
    return "cannot find the program " + stub.u8string() + " (give one with --stub)";
  }
  uint64_t size = fs::file_size(stub, error);
  if (!error && size >= 0xFFFFFFFFu) return "the program " + stub.u8string() + " is too large";
  program.resize(static_cast<size_t>(size));
  std::ifstream in(stub, std::ios::binary);
  in.read(reinterpret_cast<char*>(program.data()), static_cast<std::streamsize>(program.size()));
  if (error || !in) return "cannot read the program " + stub.u8string();
  return std::nullopt;
}

Error checkOutputName(const Options& options, const fs::path& output) {
  std::string name = output.filename().u8string();
  if (name.empty()) return "cannot write " + output.u8string() + ": no file name";
  if (options.splitSize == 0) return std::nullopt;
  if (name.find('.') == std::string::npos) {
    return "--split needs an output name with an extension, such as setup.exe";
  }
  std::string ending = name.size() >= 3 ? name.substr(name.size() - 3) : name;
  bool digits = ending.find_first_not_of("0123456789") == std::string::npos;
  if (digits || ending == "zip") {
    return "--split: the volumes take names ending in digits and zip; " + name +
           " would be one of them";
  }
  return std::nullopt;
}

class Packer {
 public:
  Packer(const Options& options, const std::string& ansiPassword, VolumeWriter& writer,
         Progress& progress, const fs::path& spoolPath)
      : options_(options),
        password_(ansiPassword),
        writer_(writer),
        progress_(progress),
        spool_(spoolPath, kSpoolInMemory) {}

  Error addInput(const Input& input);
  // Writes the entry of an input whose data have been compressed into spool.
  Error addCompressed(const Input& input, const EntryData& data, Spool& spool);
  Error addCopy(SourceZip& source, const SourceEntry& entry);
  Error finish(PackSummary& summary);

 private:
  bool volumes() const { return options_.splitSize || options_.diskSize; }
  // Before an entry is written: refuses what its headers could not say.
  Error checkZip64(const std::string& name, const CentralEntry& central, uint64_t offset,
                   bool ownAes) const;

  ByteSink toWriter() {
    return [this](const uint8_t* data, size_t size) -> Error {
      if (Error e = stopped()) return e;
      return writer_.write(data, size);
    };
  }

  const Options& options_;
  const std::string& password_;
  VolumeWriter& writer_;
  Progress& progress_;
  Spool spool_;
  std::vector<DirectoryEntry> directory_;
};

Error Packer::addInput(const Input& input) {
  EntryData data;
  if (!input.folder) {
    auto counted = [this](uint64_t bytes) {
      progress_.addBytes(bytes);
      return stopped();
    };
    if (Error e = compressFile(input, options_.method, options_.level, spool_, data, counted))
      return e;
  }
  return addCompressed(input, data, spool_);
}

Error Packer::addCompressed(const Input& input, const EntryData& data, Spool& spool) {
  EntryFields fields;
  fields.name = input.name;
  fields.flags = needsUtf8Flag(input.name) ? kUtf8NameFlag : 0;
  fields.dosDate = input.dosDate;
  fields.dosTime = input.dosTime;
  fields.externalAttributes = input.folder ? kFolderAttribute : kArchiveAttribute;
  Encryption encryption = input.folder ? Encryption::None : options_.encryption;
  EntryCipher cipher(options_, encryption, password_, data.crc, data.method);
  if (cipher.failure()) return cipher.failure();
  fields.flags |= cipher.flags() | data.flags;
  fields.method = cipher.method(data.method);
  fields.version = neededVersion(data.method, fields.method);
  fields.crc = cipher.crc(data.crc);
  fields.uncompressedSize = data.size;
  fields.compressedSize = cipher.storedSize(data.packedSize);
  fields.centralExtra = cipher.centralExtra();
  fields.localExtra = cipher.localExtra();

  std::vector<uint8_t> head = localHeader(fields);
  head.insert(head.end(), cipher.header().begin(), cipher.header().end());
  DirectoryEntry entry{centralEntry(fields), {}};
  if (Error e = writer_.startEntry(static_cast<uint32_t>(head.size()), entry.at)) return e;
  bool ownAes = encryption == Encryption::Aes;
  if (Error e = checkZip64(input.name, entry.central, writer_.absoluteOffset(entry.at), ownAes)) {
    return e;
  }
  if (Error e = writer_.write(head.data(), head.size())) return e;
  writer_.cutInBlocksOf(cipher.blockSize());
  if (!input.folder) {
    ByteSink sink = toWriter();
    auto encrypted = [&](const uint8_t* bytes, size_t size) {
      return cipher.encrypt(bytes, size, sink);
    };
    if (Error e = replayEntry(input, data, spool, encrypted)) return e;
    if (Error e = cipher.finish(sink)) return e;
  }
  directory_.push_back(std::move(entry));
  progress_.fileDone();
  return std::nullopt;
}

Error Packer::addCopy(SourceZip& source, const SourceEntry& entry) {
  DirectoryEntry copied{entry.central, {}};
  if (Error e = writer_.startEntry(entry.headSize, copied.at)) return e;
  bool ownAes = entry.blockSize > 1;
  if (Error e = checkZip64(entry.name, copied.central, writer_.absoluteOffset(copied.at), ownAes)) {
    return e;
  }
  ByteSink sink = toWriter();
  if (Error e = source.copy(entry, 0, entry.localSize, sink)) return e;
  writer_.cutInBlocksOf(entry.blockSize);
  auto counted = [&](const uint8_t* data, size_t size) -> Error {
    progress_.addBytes(size);
    return sink(data, size);
  };
  if (Error e = source.copy(entry, entry.localSize, entry.copySize - entry.localSize, counted)) {
    return e;
  }
  directory_.push_back(std::move(copied));
  progress_.fileDone();
  return std::nullopt;
}

Error Packer::checkZip64(const std::string& name, const CentralEntry& central, uint64_t offset,
                         bool ownAes) const {
  if (!centralNeedsZip64(central, offset)) return std::nullopt;
  if (ownAes) return aesNeedsZip64(name);
  // Offsets within volumes stay below their 4 GB; the sizes may not.
  if (volumes()) return volumesNeedZip64(name);
  return std::nullopt;
}

Error Packer::finish(PackSummary& summary) {
  // Where the directory goes depends on its size only for volumes, whose
  // headers take no ZIP64 fields and so keep their size once placed.
  uint64_t size = kEndRecordSize;
  for (const DirectoryEntry& entry : directory_) {
    size += centralHeaderSize(entry.central, writer_.absoluteOffset(entry.at));
  }
  if (Error e = writer_.placeDirectory(size)) return e;

  uint16_t disks = writer_.diskCount();
  std::vector<uint8_t> bytes;
  for (const DirectoryEntry& entry : directory_) {
    uint64_t offset = writer_.absoluteOffset(entry.at);
    if (volumes() && centralNeedsZip64(entry.central, offset)) {
      return volumesNeedZip64(entry.central.name);
    }
    std::vector<uint8_t> header = centralHeader(entry.central, disks ? entry.at.volume : 0, offset);
    bytes.insert(bytes.end(), header.begin(), header.end());
  }
  EndRecord end;
  if (disks) {
    end.thisDisk = static_cast<uint16_t>(disks - 1);
    // The extractor tells volume files from disks by the directory's disk:
    // the last volume for files, one more for disks.
    end.directoryDisk = options_.diskSize ? disks : end.thisDisk;
  }
  end.entries = directory_.size();
  end.directorySize = bytes.size();
  end.directoryOffset = writer_.directoryOffset();
  if (volumes() && endNeedsZip64(end)) return tooManyForVolumes(directory_.size());
  std::vector<uint8_t> records = endRecords(end);
  bytes.insert(bytes.end(), records.begin(), records.end());
  if (Error e = writer_.finish(bytes)) return e;
  progress_.end();
  summary.entries = directory_.size();
  summary.files = writer_.writtenFiles();
  summary.disks = disks;
  for (const fs::path& file : summary.files) {
    std::error_code error;
    summary.outputBytes += fs::file_size(file, error);
  }
  return std::nullopt;
}

// Files and chunks of files compressed on worker threads, written in input
// order by this one.
Error addInputsCompressedAhead(Packer& packer, const std::vector<Input>& inputs,
                               const std::vector<uint64_t>& chunks, const Options& options,
                               unsigned workers, const fs::path& spoolPath, Progress& progress) {
  auto checked = [](const std::atomic<bool>& cancelled) -> Error {
    if (cancelled) return std::string("cancelled");
    return stopped();
  };
  auto compress = [&](const Input& input, Spool& spool, EntryData& data,
                      const std::atomic<bool>& cancelled) {
    auto counted = [&](uint64_t) { return checked(cancelled); };
    return compressFile(input, options.method, options.level, spool, data, counted);
  };
  auto compressChunk = [&](const Input& input, uint64_t chunk, DeflatedChunk& data,
                           const std::atomic<bool>& cancelled) {
    if (Error e = checked(cancelled)) return e;
    return deflateChunk(input, chunk, options.level, data);
  };
  CompressAhead ahead(inputs, chunks, workers, spoolPath, compress, compressChunk);
  for (size_t i = 0; i < inputs.size(); i++) {
    uint64_t counted = 0;
    CompressAhead::Result result = ahead.take(i, [&](uint64_t bytes) {
      progress.addBytes(bytes);
      counted += bytes;
    });
    if (result.error) return result.error;
    progress.addBytes(inputs[i].size - counted);
    if (Error e = packer.addCompressed(inputs[i], result.data, result.spool)) return e;
  }
  return std::nullopt;
}

// What the headers of an entry could not say is refused before any file
// is read: the sizes are known once deflated, but a file's own size
// already tells.
Error checkInputSize(const Options& options, const Input& input) {
  if (!exceeds32(input.size)) return std::nullopt;
  if (options.splitSize || options.diskSize) return volumesNeedZip64(input.name);
  if (options.encryption == Encryption::Aes) return aesNeedsZip64(input.name);
  return std::nullopt;
}

}  // namespace

void requestStop() {
  stopRequested = true;
}

Error pack(const Options& options, const std::string& ansiPassword, PackSummary& summary) {
  fs::path output = fs::u8path(options.output);
  if (Error e = checkOutputName(options, output)) return e;
  std::vector<uint8_t> program;
  if (Error e = readProgram(options, program)) return e;

  std::vector<Input> inputs;
  SourceZip source;
  if (options.fromZip.empty()) {
    if (Error e = collectInputs(options.inputs, output, inputs, summary.warnings)) return e;
    for (const Input& input : inputs) {
      if (Error e = checkInputSize(options, input)) return e;
      summary.inputBytes += input.size;
    }
  } else {
    if (Error e = source.open(fs::u8path(options.fromZip))) return e;
    for (const SourceEntry& entry : source.entries()) {
      summary.inputBytes += entry.central.uncompressedSize;
    }
  }
  size_t count = options.fromZip.empty() ? inputs.size() : source.entries().size();
  std::vector<std::string> names;
  for (const Input& input : inputs) names.push_back(input.name);
  for (const SourceEntry& entry : source.entries()) names.push_back(entry.name);
  if (Error e = applyInstaller(options.installer, names, program)) return e;
  if ((options.splitSize || options.diskSize) && count > kMostVolumeEntries) {
    return tooManyForVolumes(count);
  }

  Layout layout = options.splitSize  ? Layout::SplitFiles
                  : options.diskSize ? Layout::RemovableDisks
                                     : Layout::SingleFile;
  uint32_t capacity = options.splitSize ? options.splitSize : options.diskSize;
  VolumeWriter writer(layout, output, capacity, std::move(program));
  if (Error e = writer.open()) return e;
  uint64_t progressBytes = options.fromZip.empty() ? summary.inputBytes : source.dataBytes();
  Progress progress(platform::stderrIsTerminal(), count, progressBytes);
  fs::path spoolPath = output;
  spoolPath += ".spool";
  Packer packer(options, ansiPassword, writer, progress, spoolPath);
  unsigned workers = options.workers ? options.workers : defaultWorkers();
  // Work for the workers: each file, or each chunk of a large one.
  std::vector<uint64_t> chunks;
  size_t tasks = 0;
  for (const Input& input : inputs) {
    chunks.push_back(deflateChunkCount(input, options.method, options.level));
    tasks += static_cast<size_t>(std::max<uint64_t>(chunks.back(), 1));
  }
  if (workers > 1 && tasks > 1) {
    unsigned used = static_cast<unsigned>(std::min<size_t>(workers, tasks));
    if (Error e =
            addInputsCompressedAhead(packer, inputs, chunks, options, used, spoolPath, progress)) {
      return e;
    }
  } else {
    for (const Input& input : inputs) {
      if (Error e = packer.addInput(input)) return e;
    }
  }
  for (const SourceEntry& entry : source.entries()) {
    if (Error e = packer.addCopy(source, entry)) return e;
  }
  return packer.finish(summary);
}

}  // namespace extractor::pack
