#pragma once

#include <string>
#include <vector>

// The 500 attribute edits that the benchmark, the comparison script and
// xmlstarlet all make on the same corpus file.
namespace kestrune::bench {

// One update of a DM element's val attribute.
struct Edit {
    std::string path;   // /DB/Tbl[@name='..']/Row[@No='..']/DM[@name='..']
    std::string value;  // k0, k1, ...
};

// The largest configuration of the shared corpus beside the project, whether or not it is there.
std::string CorpusFile();

// 500 DM elements with a val attribute, spread over the file, each the only
// match of its address; fewer when the file has not that many (or does not load).
std::vector<Edit> ChooseEdits(const std::string& file);

// The edits as a plain fix: "[Router Fix]", then p=, a=val, v= per edit, CR LF after each line.
std::string FixText(const std::vector<Edit>& edits);

// Writes the edits as a fix file and as "xpath<TAB>value" lines (for
// xmlstarlet ed); false when either could not be written.
bool WriteEditFiles(const std::vector<Edit>& edits, const std::string& fixFile, const std::string& listFile);

}  // namespace kestrune::bench
