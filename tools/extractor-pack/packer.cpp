#include "packer.h"

#include <atomic>
#include <fstream>
#include <system_error>

#include "entry_cipher.h"
#include "entry_data.h"
#include "inputs.h"
#include "platform/host.h"
#include "progress.h"
#include "source_zip.h"
#include "volume_writer.h"
#include "zip_records.h"

namespace fs = std::filesystem;

namespace extractor::pack {
namespace {

constexpr size_t kMostEntries = 0xFFFF;
constexpr size_t kSpoolInMemory = 64u << 20;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint32_t kArchiveAttribute = 0x20;

std::atomic<bool> stopRequested{false};

Error stopped() {
  if (stopRequested) return std::string("interrupted");
  return std::nullopt;
}

// One central header and where its local header went.
struct DirectoryEntry {
  std::vector<uint8_t> header;
  VolumeLocation at;
};

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
  Error addCopy(SourceZip& source, const SourceEntry& entry);
  Error finish(PackSummary& summary);

 private:
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
  EntryFields fields;
  fields.name = input.name;
  fields.flags = needsUtf8Flag(input.name) ? kUtf8NameFlag : 0;
  fields.dosDate = input.dosDate;
  fields.dosTime = input.dosTime;
  fields.externalAttributes = input.folder ? kFolderAttribute : kArchiveAttribute;
  EntryData data;
  if (!input.folder) {
    auto counted = [this](uint64_t bytes) {
      progress_.addBytes(bytes);
      return stopped();
    };
    if (Error e = compressFile(input, options_.method, options_.level, spool_, data, counted))
      return e;
  }
  Encryption encryption = input.folder ? Encryption::None : options_.encryption;
  EntryCipher cipher(encryption, options_.aesKind, password_, data.crc);
  fields.flags |= cipher.flags() | data.flags;
  fields.method = data.method;
  fields.crc = data.crc;
  fields.uncompressedSize = data.size;
  fields.compressedSize = cipher.storedSize(data.packedSize);
  fields.centralExtra = cipher.centralExtra();

  std::vector<uint8_t> head = localHeader(fields);
  head.insert(head.end(), cipher.header().begin(), cipher.header().end());
  DirectoryEntry entry{centralHeader(fields), {}};
  if (Error e = writer_.startEntry(static_cast<uint32_t>(head.size()), entry.at)) return e;
  if (Error e = writer_.write(head.data(), head.size())) return e;
  writer_.cutInBlocksOf(cipher.blockSize());
  if (!input.folder) {
    ByteSink sink = toWriter();
    auto encrypted = [&](const uint8_t* bytes, size_t size) {
      return cipher.encrypt(bytes, size, sink);
    };
    if (Error e = replayEntry(input, data, spool_, encrypted)) return e;
    if (Error e = cipher.finish(sink)) return e;
  }
  directory_.push_back(std::move(entry));
  progress_.fileDone();
  return std::nullopt;
}

Error Packer::addCopy(SourceZip& source, const SourceEntry& entry) {
  DirectoryEntry copied{entry.central, {}};
  if (Error e = writer_.startEntry(entry.headSize, copied.at)) return e;
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

Error Packer::finish(PackSummary& summary) {
  uint64_t size = kEndRecordSize;
  for (const DirectoryEntry& entry : directory_) size += entry.header.size();
  if (size > 0xFFFFFFFFu) return std::string("the directory would be larger than 4 GB");
  if (Error e = writer_.placeDirectory(static_cast<uint32_t>(size))) return e;

  uint16_t disks = writer_.diskCount();
  std::vector<uint8_t> bytes;
  for (DirectoryEntry& entry : directory_) {
    setCentralLocation(entry.header, disks ? entry.at.volume : 0, writer_.absoluteOffset(entry.at));
    bytes.insert(bytes.end(), entry.header.begin(), entry.header.end());
  }
  EndRecord end;
  if (disks) {
    end.thisDisk = static_cast<uint16_t>(disks - 1);
    // The extractor tells volume files from disks by the directory's disk:
    // the last volume for files, one more for disks.
    end.directoryDisk = options_.diskSize ? disks : end.thisDisk;
  }
  end.entries = static_cast<uint16_t>(directory_.size());
  end.directorySize = static_cast<uint32_t>(bytes.size());
  end.directoryOffset = writer_.directoryOffset();
  std::vector<uint8_t> record = endRecord(end);
  bytes.insert(bytes.end(), record.begin(), record.end());
  if (Error e = writer_.finish(bytes)) return e;
  progress_.end();
  summary.entries = directory_.size();
  summary.files = writer_.writtenFiles();
  summary.disks = disks;
  return std::nullopt;
}

std::string tooMany(size_t count) {
  return "too many entries (" + std::to_string(count) +
         "): an archive without ZIP64 holds at most 65,535";
}

// Stored entries have sizes known in advance: a single file that cannot
// stay below 4 GB is refused before anything is written.
Error checkStoredTotal(const Options& options, const std::vector<Input>& inputs,
                       uint64_t programSize) {
  if (options.level != 0 || options.splitSize || options.diskSize) return std::nullopt;
  uint64_t total = programSize + kEndRecordSize;
  for (const Input& input : inputs) {
    total += kLocalHeaderSize + kCentralHeaderSize + 2 * input.name.size() + input.size + 34;
  }
  if (total > 0xFFFFFFFFu) {
    return std::string("the archive would be larger than 4 GB: pack fewer files or use --split");
  }
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
    if (Error e = collectInputs(options.inputs, output, inputs)) return e;
    if (inputs.size() > kMostEntries) return tooMany(inputs.size());
    if (Error e = checkStoredTotal(options, inputs, program.size())) return e;
    for (const Input& input : inputs) summary.inputBytes += input.size;
  } else {
    if (Error e = source.open(fs::u8path(options.fromZip))) return e;
    summary.inputBytes = source.dataBytes();
  }
  size_t count = options.fromZip.empty() ? inputs.size() : source.entries().size();

  Layout layout = options.splitSize  ? Layout::SplitFiles
                  : options.diskSize ? Layout::RemovableDisks
                                     : Layout::SingleFile;
  uint32_t capacity = options.splitSize ? options.splitSize : options.diskSize;
  VolumeWriter writer(layout, output, capacity, std::move(program));
  if (Error e = writer.open()) return e;
  Progress progress(platform::stderrIsTerminal(), count, summary.inputBytes);
  fs::path spoolPath = output;
  spoolPath += ".spool";
  Packer packer(options, ansiPassword, writer, progress, spoolPath);
  for (const Input& input : inputs) {
    if (Error e = packer.addInput(input)) return e;
  }
  for (const SourceEntry& entry : source.entries()) {
    if (Error e = packer.addCopy(source, entry)) return e;
  }
  return packer.finish(summary);
}

}  // namespace extractor::pack
