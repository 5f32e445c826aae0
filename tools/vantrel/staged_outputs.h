// The files of one input, written whole or not at all. Each file is written
// under a hidden temporary name in the output folder; Commit renames them all
// into place, and whatever was not committed is removed.
#ifndef VANTREL_TOOLS_VANTREL_STAGED_OUTPUTS_H
#define VANTREL_TOOLS_VANTREL_STAGED_OUTPUTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace vtool {

class StagedOutputs {
 public:
  explicit StagedOutputs(std::string folder) : folder_(std::move(folder)) {}
  ~StagedOutputs() { Discard(); }
  StagedOutputs(const StagedOutputs&) = delete;
  StagedOutputs& operator=(const StagedOutputs&) = delete;

  // Writes the bytes under a temporary name for the file `name` of the
  // folder. Empty on success, else "cannot write PATH: reason".
  std::string Stage(const std::string& name, const std::vector<uint8_t>& bytes);
  std::string Stage(const std::string& name, const std::string& text);

  // Renames every staged file to its name. On failure the files renamed so
  // far are removed as well, and the message names the file and the reason.
  std::string Commit();

  // Removes the staged files.
  void Discard();

  std::string PathOf(const std::string& name) const;

 private:
  struct File {
    std::string name;
    std::string temporary;
    int slot;  // of the interrupt handler's list
  };
  std::string StageBytes(const std::string& name, const char* data, size_t size);

  std::string folder_;
  std::vector<File> files_;
};

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_STAGED_OUTPUTS_H
