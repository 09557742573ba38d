#include "catalogue/type_options.h"

namespace vexlo::catalogue {
namespace {

// The options in page order (left to right, row by row). Two rows carry the
// same icon or even the same extension on purpose: the selection map lets the
// later row win, which decides the box an extension is shown under.
constexpr std::array<TypeOption, 43> kPhotoOptions = {{
    {"Bitmap (.bmp)", "bmp", "FileIcon/bmp.png"},
    {"Gif Graphics Files (.gif)", "gif", "FileIcon/gif.png"},
    {"JPG/JPEG (.jpg .jpeg)", "jpg|jpeg", "FileIcon/jpg.png"},
    {"PNG Graphics Files (.png)", "png", "FileIcon/png.png"},
    {"Adobe Photoshop (.psd)", "psd", "FileIcon/psd.png"},
    {"TIFF Graphics Files (.tif .tiff)", "tif|tiff", "FileIcon/tif.png"},
    {"Paintbrush Files (.pcx .scr)", "pcx|scr", "FileIcon/photo_default.png"},
    {"ICON File (.ico)", "ico", "FileIcon/ico.png"},
    {"HEIC/HEIF Photos (.heic .heif)", "heic|heif", "FileIcon/photo_default.png"},
    {"AVIF Photos (.avif)", "avif", "FileIcon/photo_default.png"},
    {"WebP Pictures (.webp)", "webp", "FileIcon/photo_default.png"},
    {"Nikon (.nef)", "nef", "FileIcon/nikon.png"},
    {"Nikon (.nrw)", "nrw", "FileIcon/nikon.png"},
    {"Canon (.crw)", "crw", "FileIcon/canon.png"},
    {"Canon (.cr2)", "cr2", "FileIcon/canon.png"},
    {"Canon (.cr3)", "cr3", "FileIcon/canon.png"},
    {"Sony (.sr2)", "sr2", "FileIcon/sony.png"},
    {"Sony (.arw)", "arw", "FileIcon/sony.png"},
    {"Sony (.srf)", "srf", "FileIcon/sony.png"},
    {"DJVU Files (.djvu)", "djvu", "FileIcon/sony.png"},
    {"PGM Files (.pgm)", "pgm", "FileIcon/sony.png"},
    {"Kodak (.k25)", "k25", "FileIcon/kodak.png"},
    {"Kodak (.kdc)", "kdc", "FileIcon/kodak.png"},
    {"Kodak (.dcr)", "dcr", "FileIcon/kodak.png"},
    {"Fuji (.raf)", "raf", "FileIcon/fuji.png"},
    {"IFF Files (.iff)", "iff", "FileIcon/fuji.png"},
    {"PBM Files (.pbm)", "pbm", "FileIcon/fuji.png"},
    {"Mamiya (.mef)", "mef", "FileIcon/mamiya.png"},
    {"JP2 Files (.jp2)", "jp2", "FileIcon/mamiya.png"},
    {"Mamiya (.mos)", "mos", "FileIcon/mamiya.png"},
    {"Sigma (.x3f)", "x3f", "FileIcon/sigma.png"},
    {"Olympus (.orf)", "orf", "FileIcon/olympus.png"},
    {"Panasonic (.rw2)", "rw2", "FileIcon/photo_default.png"},
    {"EPSON (.erf)", "erf", "FileIcon/epson.png"},
    {"Adobe Indesign (.indd)", "indd", "FileIcon/indd.png"},
    {"Pentax (.pef)", "pef", "FileIcon/pentax.png"},
    {"Paint Shop Pro Image (.psp)", "psp", "FileIcon/psp.png"},
    {"Minolta (.mrw)", "mrw", "FileIcon/minolta.png"},
    {"DNG Photo Files (.dng)", "dng", "FileIcon/photo_default.png"},
    {"RAW Photo Files (.raw)", "raw", "FileIcon/photo_default.png"},
    {"Picture Files (.pct)", "pct", "FileIcon/photo_default.png"},
    {"TGA File (.tga)", "tga", "FileIcon/photo_default.png"},
    {"THM Files (.thm)", "thm", "FileIcon/thm.png"},
}};

constexpr std::array<TypeOption, 19> kAudioOptions = {{
    {"MP3 Files (.mp3)", "mp3", "FileIcon/mp3.png"},
    {"WAV Files (.wav)", "wav", "FileIcon/au.png"},
    {"AIFF Files (.aiff)", "aiff", "FileIcon/aiff.png"},
    {"Reason Song (.rps)", "rps", "FileIcon/rps.png"},
    {"MIDI Files (.mid .midi)", "mid|midi", "FileIcon/mid.png"},
    {"M4A M4P Files (.m4a .m4p)", "m4a|m4p", "FileIcon/mp3.png"},
    {"AU Files (.au)", "au", "FileIcon/au.png"},
    {"OGG Files(.ogg)", "ogg", "FileIcon/ogg.png"},
    {"WMA Files (.wma)", "wma", "FileIcon/wma.png"},
    {"Real Media (.rm)", "rm", "FileIcon/real.png"},
    {"Real Audio (.ra)", "ra", "FileIcon/real.png"},
    {"ACID Files(.acd)", "acd", "FileIcon/acid.png"},
    {"AMR Files (.amr)", "amr", "FileIcon/audio_default.png"},
    {"AT3 Files (.at3)", "at3", "FileIcon/at3.png"},
    {"CAFF Files (.caf)", "caf", "FileIcon/audio_default.png"},
    {"DSS Files(.dss)", "dss", "FileIcon/dss.png"},
    {"M4R Files (.m4r)", "m4r", "FileIcon/audio_default.png"},
    {"NRA Files (.nra)", "nra", "FileIcon/audio_default.png"},
    {"SND Files (.snd)", "snd", "FileIcon/audio_default.png"},
}};

constexpr std::array<TypeOption, 29> kVideoOptions = {{
    {"RMVB Video Files (.rmvb)", "rmvb", "FileIcon/rmvb.png"},
    {"RM Video Files (.rm)", "rm", "FileIcon/rmvb.png"},
    {"MPEG Video Files (.mpeg)", "mpeg", "FileIcon/mpeg.png"},
    {"Quick Time Video Files (.mov)", "mov", "FileIcon/mov.png"},
    {"AVI Multimedias File (.avi)", "avi", "FileIcon/avi.png"},
    {"WMV Files (.wmv)", "wmv", "FileIcon/wmv.png"},
    {"ASF Files (.asf)", "asf", "FileIcon/asf.png"},
    {"MP4 Files (.mp4)", "mp4", "FileIcon/mp4.png"},
    {"M4V Files (.m4v)", "m4v", "FileIcon/mpeg.png"},
    {"3GP Files (.3gp)", "3gp", "FileIcon/mpeg.png"},
    {"Digital Video (.dv)", "dv", "FileIcon/dv.png"},
    {"3G2 Files (.3g2)", "3g2", "FileIcon/mpeg.png"},
    {"M4B (.m4b)", "m4b", "FileIcon/video_default.png"},
    {"Matroska Video File (.mkv)", "mkv", "FileIcon/video_default.png"},
    {"AVCHD Video File (.mts .m2ts)", "mts|m2ts", "FileIcon/video_default.png"},
    {"Divx Movie File (.divx)", "divx", "FileIcon/divx.png"},
    {"OGG Media Player (.ogm)", "ogm", "FileIcon/ogg.png"},
    {"MOI Video Files (.moi)", "moi", "FileIcon/video_default.png"},
    {"Video Object Files (.vob)", "vob", "FileIcon/vob.png"},
    {"AJP Files (.ajp)", "ajp", "FileIcon/video_default.png"},
    {"F4V Files (.f4v)", "f4v", "FileIcon/video_default.png"},
    {"MQV Files (.mqv)", "mqv", "FileIcon/mpeg.png"},
    {"SVI Files (.svi)", "svi", "FileIcon/video_default.png"},
    {"VID Files (.vid)", "vid", "FileIcon/video_default.png"},
    {"TOD Files (.tod)", "tod", "FileIcon/tod.png"},
    {"HDMOV Files (.hdmov)", "hdmov", "FileIcon/video_default.png"},
    {"MOD Files (.mod)", "mod", "FileIcon/video_default.png"},
    {"MXF Files (.mxf)", "mxf", "FileIcon/mpeg.png"},
    {"LRV Files (.lrv)", "lrv", "FileIcon/dv.png"},
}};

constexpr std::array<TypeOption, 21> kOfficeOptions = {{
    {"DOC Files (.doc .docx)", "doc|docx", "FileIcon/doc.png"},
    {"XLS Files (.xls .xlsx)", "xls|xlsx", "FileIcon/xls.png"},
    {"PPT Files (.ppt .pptx)", "ppt|pptx", "FileIcon/ppt.png"},
    {"TXT Files (.txt)", "txt", "FileIcon/txt.png"},
    {"PDF Files (.pdf)", "pdf", "FileIcon/pdf.png"},
    {"XML Files (.xml)", "xml", "FileIcon/xml.png"},
    {"HTML Files (.html .htm)", "html|htm", "FileIcon/html.png"},
    {"CHM Files (.chm)", "chm", "FileIcon/chm.png"},
    {"ODS Files (.ods)", "ods", "FileIcon/ods.png"},
    {"OLE Files (.ole)", "ole", "FileIcon/office_default.png"},
    {"ODT Files (.odt)", "odt", "FileIcon/office_default.png"},
    {"PST Files (.pst)", "pst", "FileIcon/office_default.png"},
    {"DBX Files (.dbx)", "dbx", "FileIcon/office_default.png"},
    {"WPS Files (.wps)", "wps", "FileIcon/wps.png"},
    {"DPS Files (.dps)", "dps", "FileIcon/doc.png"},
    {"ET Files (.et)", "et", "FileIcon/office_default.png"},
    {"ONE Files (.one)", "one", "FileIcon/one.png"},
    {"MPP Files (.mpp)", "mpp", "FileIcon/office_default.png"},
    {"MDB Files (.mdb)", "mdb", "FileIcon/office_default.png"},
    {"PST Files (.pst)", "pst", "FileIcon/office_default.png"},
    {"ACCDB Files (.accdb)", "accdb", "FileIcon/accdb.png"},
}};

constexpr std::array<TypeOption, 14> kZipOptions = {{
    {"ZIP Files (.zip)", "zip", "FileIcon/zip.png"},
    {"RAR Files (.rar)", "rar", "FileIcon/rar.png"},
    {"TAR Files (.tar)", "tar", "FileIcon/gzip.png"},
    {"GZIP Files (.gzip)", "gzip", "FileIcon/gzip.png"},
    {"7Z Files (.7z)", "7z", "FileIcon/7z.png"},
    {"CAB Files (.cab)", "cab", "FileIcon/cab.png"},
    {"ARJ Files (.arj)", "arj", "FileIcon/rar.png"},
    {"LZH Files (.lzh)", "lzh", "FileIcon/rar.png"},
    {"ACE Files (.ace)", "ace", "FileIcon/ace.png"},
    {"GZ Files (.gz)", "gz", "FileIcon/gzip.png"},
    {"UUE Files (.uue)", "uue", "FileIcon/rar.png"},
    {"BZ2 Files (.bz2)", "bz2", "FileIcon/gzip.png"},
    {"JAR Files (.jar)", "jar", "FileIcon/jar.png"},
    {"ISO Files (.iso)", "iso", "FileIcon/rar.png"},
}};

constexpr std::array<TypeOption, 1> kOtherOptions = {{
    {"Other Files (.*)", "other", "FileIcon/other.png"},
}};

constexpr std::array<TypeBox, kTypeBoxCount> kBoxes = {{
    {TypeBoxId::kPhoto, "FileTypePhoto", "LblPhotoType", "Photo File Type", "OptPhotoFile",
     "ChkPhoto", "NodePhoto", "MSG0807", "photo", "image.png", kPhotoOptions},
    {TypeBoxId::kAudio, "FileTypeAudio", "LblAudioType", "Audio File Type", "OptAudioFile",
     "ChkMusic", "NodeAudio", "MSG0808", "audio", "music.png", kAudioOptions},
    {TypeBoxId::kVideo, "FileTypeVideo", "LblVideoType", "Video File Type", "OptVideoFile",
     "ChkVideo", "NodeVideo", "MSG0809", "video", "video.png", kVideoOptions},
    {TypeBoxId::kOffice, "FileTypeOffice", "LblOfficeType", "Office File Type", "OptOfficeFile",
     "ChkOffice", "NodeOffice", "MSG0810", "document", "doc.png", kOfficeOptions},
    {TypeBoxId::kZip, "FileTypeZip", "LblZipType", "Archive File Type", "OptZipFile", "ChkArchive",
     "NodeZip", "MSG0811", "archive", "zip.png", kZipOptions},
    {TypeBoxId::kOther, "FileTypeOther", "LblOtherType", "Other File Type", "OptOtherFile",
     "ChkOther", "NodeOther", "MSG0812", "others", "default.png", kOtherOptions},
}};

}  // namespace

std::span<const TypeBox> TypeBoxes() { return kBoxes; }

const TypeBox& BoxOf(TypeBoxId id) { return kBoxes[static_cast<std::size_t>(id)]; }

const TypeOption& OtherFilesOption() { return kOtherOptions[0]; }

TypeBoxId BoxOfOption(const TypeOption& option) {
  for (const TypeBox& box : kBoxes) {
    const TypeOption* first = box.options.data();
    if (&option >= first && &option < first + box.options.size()) return box.id;
  }
  return TypeBoxId::kOther;
}

}  // namespace vexlo::catalogue
