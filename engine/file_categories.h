// The six file categories and their extension lists.
//
// One catalogue decides, everywhere in the system, which category a file name
// belongs to: the store uses it to tell known from "other" extensions and to
// hide damaged pictures, the recovery writes each file into its category's
// folder, the preview and the views group files by it.
//
// Every test is a plain substring search of the lower-cased extension in the
// fixed list texts below, so every character of them matters: a short
// extension that is part of a longer one belongs to the first list that
// contains it ("ra" is a photo because of "*.raf", "rm" is audio), and the
// empty extension of a name without a dot is part of every list. Lower-casing
// is ASCII only; the lists are ASCII. Names are UTF-8.
//
// Everything here is immutable and safe to use from any thread.
#pragma once

#include <string_view>

namespace vexlo {

enum class FileCategory { kPhoto, kAudio, kVideo, kDocument, kArchive, kOther };

inline constexpr std::string_view kPhotoList =
    "*.bmp|*.gif|*.jpg|*.jpeg|*.png|*.psd|*.tif|*.tiff|*.pcx|*.scr|*.ico|*.nef|*.nrw|*.crw|*.cr2|"
    "*.sr2|*.arw|*.srf|*.divu|*.pgm|*.k25|*.kdc|*.dcr|*.raf|*.iff|*.pbm|*.mef|*.jp2|*.mos|*.x3f|"
    "*.orf|*.erf|*.indd|*.pef|*.psp|*.mrw|*.dng|*.raw|*.pct|*.tga|*.thm";

inline constexpr std::string_view kAudioList =
    "*.mp3|*.wav|*.ape|*.aiff|*.rps|*.mid|*.midi|*.m4a|*.m4p|*.au|*.ogg|*.wma|*.rm|*.ra|*.acd|"
    "*.amr|*.at3|*.caf|*.dss|*.m4r|*.nra|*.snd";

inline constexpr std::string_view kVideoList =
    "*.rmvb|*.rm|*.mpeg|*.mov|*.avi|*.wmv|*.asf|*.mp4|*.flv|*.fla|*.swf|*.m4v|*.3gp|*.dv|*.3g2|"
    "*.m4b|*.mkv|*.mts|*.m2ts|*.divx|*.ogm|*.moi|*.vob|*.ajp|*.f4v|*.mqv|*.svi|*.vid|*.tod|*.hdmov|"
    "*.mod|"
    "*.mxf|*.lrv";

inline constexpr std::string_view kDocumentList =
    "*.doc|*.xls|*.ppt|*.odt|*.ods|*.pdf|*.docx|*.xlsx|*.pptx|*.ole|*.txt|*.xml|*.chm|*.htm|*.html|"
    "*.pst|*.dbx|*.wps|*.dps|*.et|*.one|*.mpp|*.mdb|*.accdb";

inline constexpr std::string_view kArchiveList =
    "*.zip|*.rar|*.gzip|*.tar|*.7z|*.cab|*.arj|*.lzh|*.ace|*.gz|*.uue|*.bz2|*.jar|*.iso";

// Types that the preview converts to a picture, and that the engines therefore
// extract to a file rather than to memory.
inline constexpr std::string_view kDocumentPreviewList =
    "*.pdf|*.doc|*.dot|*.docx|*.dotx|*.docm|*.dotm|*.rtf|*.odt|*.ppt|*.pptx|*.pptm|*.pps|*.ppsx|"
    "*.ppsm|*.odp|*.xls|*.xlsx|*.xlsm|*.csv|*.odc|*.vsd|*.vsdm|*.vsdx|*.pub|*.mpp|*.ics|*.vcf|"
    "*.msg|*.zip|*.rar|*.gzip|*.tar|*.7z|*.cab|*.arj|*.lzh|*.ace|*.gz|*.uue|*.bz2|*.jar|*.iso";

// The photo, audio, document, video and archive lists joined in this order
// with "|". An extension that is no part of it is an "other" one.
std::string_view KnownExtensionText();

// True when the ASCII-lower-cased `extension` (without "*.") occurs anywhere
// in `list`. The empty extension occurs in every list.
bool IsInList(std::string_view list, std::string_view extension);

// The category of a file name, by the text after its last "." (empty when
// there is none), tested against the photo, audio, video, document and
// archive lists in this order.
FileCategory CategoryOf(std::string_view file_name);

// The list of a category; empty for kOther.
std::string_view CategoryList(FileCategory category);

// The folder that recovered files of a category go into: "photo", "audio",
// "video", "document", "archive" or "others".
std::string_view CategoryFolderName(FileCategory category);

// The folder name for a file name: CategoryFolderName(CategoryOf(file_name)).
std::string_view CategoryFolderName(std::string_view file_name);

}  // namespace vexlo
