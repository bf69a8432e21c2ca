#include "engine/X264Presets.h"

#include <algorithm>
#include <cctype>

namespace engine {
namespace {

// The rows "libx264-baseline" and "libx264-default" are the ones the workflow names and must
// stay exactly as they are; the others follow the x264 presets of the same names. Names ending
// in "firstpass" are the quick first pass of a two-pass encode.
constexpr TBuiltInPreset kPresets[] = {
    {"libx264-baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0"},
    {"libx264-default",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\ntrellis="
     "1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-fast",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=6\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=2\ndirectpred=1\ntrellis="
     "1\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=30"},
    {"libx264-fast_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+bpyramid+mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=30"},
    {"libx264-faster",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=4\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=2\ndirectpred=1\ntrellis="
     "1\nflags2=+bpyramid-mixed_refs+wpred+dct8x8+fastpskip\nwpredp=1\nrc_lookahead=20"},
    {"libx264-faster_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=1\nrc_lookahead=20"},
    {"libx264-fastfirstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2"},
    {"libx264-hq",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=umh\nsubq=8\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=5\ndirectpred=3\ntrellis="
     "1\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=50"},
    {"libx264-ipod320",
     "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0"},
    {"libx264-ipod640",
     "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\nmaxrate=10000000\nbufsize="
     "10000000\nwpredp=0"},
    {"libx264-lossless_fast",
     "coder=0\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=3\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=0\nqcomp=0.6\nqmin=0\nqmax=51\nqdiff=4\nbf=0\nrefs=2\ntrellis=0\nflags2=+mixed_refs+"
     "dct8x8+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_max",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partp4x4+"
     "partb8x8\nme_method=esa\nsubq=8\nme_range=64\ng=250\nkeyint_min=25\nsc_threshold=40\ni_"
     "qfactor=0.71\nb_strategy=0\nqcomp=0.6\nqmin=0\nqmax=51\nqdiff=4\nbf=0\nrefs=16\ndirectpred="
     "1\ntrellis=0\nflags2=+mixed_refs+dct8x8+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_medium",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=5\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=0\nqcomp=0.6\nqmin=0\nqmax=51\nqdiff=4\nbf=0\nrefs=2\ntrellis=0\nflags2=+mixed_refs+"
     "dct8x8+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_slow",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=umh\nsubq=6\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=0\nqcomp=0.6\nqmin=0\nqmax=51\nqdiff=4\nbf=0\nrefs=2\ntrellis=0\nflags2=+mixed_refs+"
     "dct8x8+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_slower",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partp4x4+"
     "partb8x8\nme_method=umh\nsubq=8\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_"
     "qfactor=0.71\nb_strategy=0\nqcomp=0.6\nqmin=0\nqmax=51\nqdiff=4\nbf=0\nrefs=4\ntrellis="
     "0\nflags2=+mixed_refs+dct8x8+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_ultrafast",
     "coder=0\nflags=-loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=0\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=0\nqcomp=0.6\nqmin=0\nqmax=51\nqdiff=4\nbf=0\nrefs=1\ntrellis=0\nflags2=-mixed_refs-"
     "wpred-dct8x8+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-main", "coder=1\nflags2=-dct8x8"},
    {"libx264-max",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partp4x4+"
     "partb8x8\nme_method=tesa\nsubq=10\nme_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_"
     "qfactor=0.71\nb_strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=16\nrefs=16\ndirectpred="
     "3\ntrellis=2\nflags2=+bpyramid+mixed_refs+wpred+dct8x8-fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-medium",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\ntrellis="
     "1\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-medium_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+bpyramid+mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2"},
    {"libx264-normal",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\ntrellis="
     "1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-placebo",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partp4x4+"
     "partb8x8\nme_method=tesa\nsubq=10\nme_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_"
     "qfactor=0.71\nb_strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=16\nrefs=16\ndirectpred="
     "3\ntrellis=2\nflags2=+bpyramid+mixed_refs+wpred+dct8x8-fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-placebo_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=16\nrefs=1\ndirectpred=3\ntrellis="
     "0\nflags2=+bpyramid+mixed_refs+wpred-dct8x8-fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-slow",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=umh\nsubq=8\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=5\ndirectpred=3\ntrellis="
     "1\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=50"},
    {"libx264-slow_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=3\ntrellis="
     "0\nflags2=+bpyramid+mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=50"},
    {"libx264-slower",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partp4x4+"
     "partb8x8\nme_method=umh\nsubq=9\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_"
     "qfactor=0.71\nb_strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=8\ndirectpred="
     "3\ntrellis=2\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-slower_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=3\ntrellis="
     "0\nflags2=+bpyramid+mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-slowfirstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=umh\nsubq=8\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=5\ndirectpred=3\ntrellis="
     "1\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=50"},
    {"libx264-superfast",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=1\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree\nwpredp=1\nrc_lookahead=0"},
    {"libx264-superfast_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree\nwpredp=1\nrc_lookahead=0"},
    {"libx264-ultrafast",
     "coder=0\nflags=-loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=0\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=0\ni_qfactor=0.71\nb_"
     "strategy=0\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=0\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree\nwpredp=0\nrc_lookahead=0\naq_"
     "mode=0"},
    {"libx264-ultrafast_firstpass",
     "coder=0\nflags=-loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=0\ni_qfactor=0.71\nb_"
     "strategy=0\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=0\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree\nwpredp=0\nrc_lookahead=0\naq_"
     "mode=0"},
    {"libx264-veryfast",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\nme_"
     "method=hex\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+bpyramid-mixed_refs+wpred+dct8x8+fastpskip\nwpredp=1\nrc_lookahead=10"},
    {"libx264-veryfast_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis="
     "0\nflags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=1\nrc_lookahead=10"},
    {"libx264-veryslow",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partp4x4+"
     "partb8x8\nme_method=umh\nsubq=10\nme_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_"
     "qfactor=0.71\nb_strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=8\nrefs=16\ndirectpred="
     "3\ntrellis=2\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-veryslow_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\nme_"
     "method=dia\nsubq=2\nme_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_"
     "strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=8\nrefs=1\ndirectpred=3\ntrellis="
     "0\nflags2=+bpyramid+mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::span<const TBuiltInPreset> BuiltInPresets() { return kPresets; }

const TBuiltInPreset* FindBuiltInPreset(std::string_view name) {
  for (const auto& preset : kPresets)
    if (EqualIgnoringCase(preset.Name, name)) return &preset;
  return nullptr;
}

}  // namespace engine
