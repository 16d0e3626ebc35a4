#include <algorithm>
#include <cctype>

#include "export/sound_file.h"

std::optional<SoundFileFormat> SoundFileFormatFor(std::string_view path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of("/\\");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(path.substr(dot + 1));
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == "wav") return SoundFileFormat::Wav;
  if (ext == "flac") return SoundFileFormat::Flac;
  if (ext == "aiff" || ext == "aif") return SoundFileFormat::Aiff;
  return {};
}
