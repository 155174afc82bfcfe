#include "plugins/field3dio/Field3dFile.h"

#include <cstring>

#include "plugins/field3dio/ByteSource.h"
#include "plugins/ImportCodes.h"
#include "plugins/field3dio/Hdf5Access.h"
#include "plugins/field3dio/OgawaContainer.h"

namespace Field3dIo {

namespace {

constexpr unsigned char kHdf5Signature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};

enum class Form { Ogawa, Hdf5, Unknown };

Form formOf(ByteSource& source) {
  unsigned char head[8] = {};
  if (!source.read(0, head, 5)) return Form::Unknown;
  if (std::memcmp(head, "Ogawa", 5) == 0) return Form::Ogawa;
  if (source.read(0, head, 8) && std::memcmp(head, kHdf5Signature, 8) == 0) return Form::Hdf5;
  return Form::Unknown;
}

int openOgawa(std::unique_ptr<ByteSource> source, OpenedFile& out, std::string& reason) {
  out.bytes = source->size();
  auto container = std::make_unique<OgawaContainer>(std::move(source));
  switch (container->open(reason)) {
    case OgawaArchive::Status::Ok:
      out.container = std::move(container);
      return kImportOk;
    case OgawaArchive::Status::Unfinished:
    case OgawaArchive::Status::Unsupported:
    case OgawaArchive::Status::NotOgawa:
      return kImportCannotOpen;
    case OgawaArchive::Status::Broken:
      break;
  }
  return kImportBroken;
}

int hdf5Result(std::unique_ptr<Field3dContainer> container, OpenedFile& out) {
  if (!container) return Hdf5Available() ? kImportBroken : kImportCannotOpen;
  out.container = std::move(container);
  return kImportOk;
}

}  // namespace

int OpenField3dFile(const char* path, OpenedFile& out, std::string& reason) {
  std::unique_ptr<ByteSource> source = FileByteSource::Open(path);
  if (!source) {
    reason = "the file cannot be opened";
    return kImportCannotOpen;
  }
  switch (formOf(*source)) {
    case Form::Ogawa:
      return openOgawa(std::move(source), out, reason);
    case Form::Hdf5:
      out.bytes = source->size();
      source.reset();
      return hdf5Result(OpenHdf5File(path, reason), out);
    case Form::Unknown:
      break;
  }
  reason = "not a Field3D file (neither Ogawa nor HDF5)";
  return kImportCannotOpen;
}

int OpenField3dMemory(const void* data, size_t size, OpenedFile& out, std::string& reason) {
  auto source = std::make_unique<MemoryByteSource>(data, size);
  switch (formOf(*source)) {
    case Form::Ogawa:
      return openOgawa(std::move(source), out, reason);
    case Form::Hdf5:
      out.bytes = size;
      return hdf5Result(OpenHdf5Image(data, size, reason), out);
    case Form::Unknown:
      break;
  }
  reason = "not a Field3D file (neither Ogawa nor HDF5)";
  return kImportCannotOpen;
}

}  // namespace Field3dIo
