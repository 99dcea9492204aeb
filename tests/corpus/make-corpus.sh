#!/usr/bin/env bash
# Makes a corpus of real documents in OUT: what LibreOffice, Ghostscript,
# Chromium, cairo, groff and pdfTeX write from small sources made here, and
# qpdf and mutool rewrites of those. Nothing is downloaded.
# usage: make-corpus.sh OUT [CAIRO-PRODUCER]
# OUT/corpus.tsv lists one document a line: file, producer, how it was made,
# and the name of an empty signature field it carries ("-" for none). A
# producer whose program is missing is named on standard error and left out.
set -uo pipefail
OUT="$1"
CAIRO="${2:-}"
SRC="$OUT/src"
mkdir -p "$SRC"
LIST="$OUT/corpus.tsv"
: >"$LIST"

missing() { echo "make-corpus: $1 is missing: its documents are left out" >&2; }
# add FILE PRODUCER HOW [FIELD]: lists a document that was written.
add() {
  if [ -s "$OUT/$1" ]; then
    printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "${4:--}" >>"$LIST"
  else
    echo "make-corpus: $2 wrote no $1 ($3)" >&2
  fi
}

# --- Sources -----------------------------------------------------------------
cat >"$SRC/report.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Quarterly report</title>
<style>
body { font-family: "DejaVu Serif", serif; }
td, th { border: 1px solid #444; padding: 2pt 6pt; }
.box { width: 120pt; height: 60pt; background: #3a6ea5; }
.next { page-break-before: always; }
</style></head><body>
<h1>Quarterly report</h1>
<p>Sales grew in every region. Über die Hälfte kam aus dem Norden; le reste, à parts égales.</p>
<table><tr><th>Region</th><th>Q1</th><th>Q2</th></tr>
<tr><td>North</td><td>120</td><td>135</td></tr>
<tr><td>South</td><td>80</td><td>95</td></tr></table>
<div class="box"></div>
<h2 class="next">Details</h2>
<ol><li>Orders were shipped on time.</li><li>Returns fell to 2 %.</li></ol>
<p class="next">Appendix: signatures below.</p>
</body></html>
HTML
cat >"$SRC/application.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Application</title></head><body>
<h1>Application form</h1>
<form><p>Name: <input type="text" name="applicant" value="Jane Doe"></p>
<p><input type="checkbox" name="agree" checked> I agree to the terms</p>
<p>Plan: <select name="plan"><option>Basic</option><option selected>Plus</option></select></p></form>
</body></html>
HTML
# Three pages: text, drawing, and a landscape page turned by /Rotate.
cat >"$SRC/letter.ps" <<'PS'
%!PS
/Times-Roman findfont 14 scalefont setfont
72 720 moveto (A letter made with Ghostscript) show
72 700 moveto (Second line of the first page, with some more words.) show
0.2 0.4 0.7 setrgbcolor 72 500 200 100 rectfill
showpage
/Helvetica findfont 12 scalefont setfont
72 720 moveto (Page two: drawing) show
newpath 300 400 100 0 360 arc 0.8 0.1 0.1 setrgbcolor fill
showpage
[ /Rotate 90 /PAGE pdfmark
/Courier findfont 12 scalefont setfont
72 720 moveto (Page three is turned) show
showpage
PS
# One page with an empty signature field: the usual "sign here" form.
cat >"$SRC/signhere.ps" <<'PS'
%!PS
/Helvetica findfont 14 scalefont setfont
72 720 moveto (Please sign below.) show
[ /_objdef {here} /Subtype /Widget /Rect [100 100 300 150] /FT /Sig /T (SignHere) /F 4 /ANN pdfmark
[ /_objdef {form} /type /dict /OBJ pdfmark
[ {form} << /Fields [ {here} ] >> /PUT pdfmark
[ {Catalog} << /AcroForm {form} >> /PUT pdfmark
showpage
PS
cat >"$SRC/notes.ms" <<'MS'
.TL
Release notes
.AU
The Team
.NH
What changed
.PP
Documents of every kind are read. This paragraph is long enough to wrap over
more than one line of the page, so that the text runs as it would in a real note.
.NH
What stays
.PP
Everything else.
.bp
.PP
A second page.
MS
cat >"$SRC/paper.tex" <<'TEX'
\font\big=cmbx12
\centerline{\big A short paper}
\bigskip
Let $a^2+b^2=c^2$. Then $\sum_{i=1}^n i = {n(n+1)\over 2}$ holds for every $n$.
\vfill\eject
The second page ends the paper.
\bye
TEX

# --- Chromium ----------------------------------------------------------------
CHROMIUM="$(command -v chromium || command -v chromium-browser || true)"
if [ -n "$CHROMIUM" ]; then
  sed 's/<style>/<style>@page { size: A4 landscape; }/' "$SRC/report.html" >"$SRC/landscape.html"
  # Run beside the others: each start takes seconds.
  (for name in report landscape; do
    profile="$(mktemp -d "$OUT/chromium-XXXXXX")"
    timeout 60 "$CHROMIUM" --headless --no-sandbox --disable-gpu --disable-background-networking \
      --disable-component-update --no-first-run --disable-sync --user-data-dir="$profile" \
      --no-pdf-header-footer --print-to-pdf="$OUT/chromium-$name.pdf" "file://$SRC/$name.html" >/dev/null 2>&1
    rm -rf "$profile"
  done) &
  CHROMIUM_JOB=$!
else
  missing chromium
fi

# --- LibreOffice -------------------------------------------------------------
if command -v libreoffice >/dev/null; then
  # Each run its own profile in the scratch folder; two runs at a time.
  lo() {
    local lane="$1" filter="$2" outdir="$3"
    shift 3
    libreoffice "-env:UserInstallation=file://$OUT/lo-profile-$lane" --headless \
      --convert-to "pdf:writer_web_pdf_Export:$filter" --outdir "$outdir" "$@" >/dev/null 2>&1
  }
  opt() { printf '"%s":{"type":"%s","value":"%s"}' "$1" "$2" "$3"; }
  mkdir -p "$OUT/lo"/{default,v15,a1,a2,a3,tagged,crypt,perm}
  (lo 1 "{}" "$OUT/lo/default" "$SRC/report.html" "$SRC/application.html"
   lo 1 "{$(opt SelectPdfVersion long 15)}" "$OUT/lo/v15" "$SRC/report.html"
   lo 1 "{$(opt SelectPdfVersion long 1)}" "$OUT/lo/a1" "$SRC/report.html"
   lo 1 "{$(opt EncryptFile boolean true),$(opt DocumentOpenPassword string secret)}" "$OUT/lo/crypt" \
     "$SRC/report.html") &
  lane1=$!
  (lo 2 "{$(opt SelectPdfVersion long 2)}" "$OUT/lo/a2" "$SRC/report.html"
   lo 2 "{$(opt SelectPdfVersion long 3)}" "$OUT/lo/a3" "$SRC/application.html"
   lo 2 "{$(opt UseTaggedPDF boolean true),$(opt ExportBookmarks boolean true)}" "$OUT/lo/tagged" \
     "$SRC/report.html"
   lo 2 "{$(opt RestrictPermissions boolean true),$(opt PermissionPassword string owner)}" "$OUT/lo/perm" \
     "$SRC/report.html") &
  lane2=$!
  wait "$lane1" "$lane2"
  for v in default:report:"PDF 1.6" default:application:"PDF 1.6 with form fields" v15:report:"PDF 1.5" \
    a1:report:"PDF/A-1b" a2:report:"PDF/A-2b" a3:application:"PDF/A-3b with form fields" \
    tagged:report:"tagged, bookmarks" crypt:report:"encrypted, open password" \
    perm:report:"encrypted, permissions only"; do
    IFS=: read -r dir name how <<<"$v"
    mv "$OUT/lo/$dir/$name.pdf" "$OUT/lo-$dir-$name.pdf" 2>/dev/null
    add "lo-$dir-$name.pdf" libreoffice "$how"
  done
  rm -rf "$OUT/lo" "$OUT"/lo-profile-*
else
  missing libreoffice
fi

# --- Ghostscript -------------------------------------------------------------
if command -v gs >/dev/null; then
  gsw() {
    local level="$1" out="$2"
    shift 2
    gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -dCompatibilityLevel="$level" -sOutputFile="$OUT/$out" "$@" \
      >/dev/null 2>&1
  }
  for level in 1.3 1.4 1.5 1.6 1.7 2.0; do
    gsw "$level" "gs-$level-letter.pdf" "$SRC/letter.ps"
    add "gs-$level-letter.pdf" ghostscript "CompatibilityLevel $level, a turned page"
  done
  for level in 1.4 1.7; do
    gsw "$level" "gs-$level-signhere.pdf" "$SRC/signhere.ps"
    add "gs-$level-signhere.pdf" ghostscript "CompatibilityLevel $level, empty signature field" SignHere
  done
  # A document of another producer run through Ghostscript, as printers do.
  if [ -s "$OUT/lo-default-report.pdf" ]; then
    gsw 1.7 "gs-1.7-from-lo.pdf" "$OUT/lo-default-report.pdf"
    add "gs-1.7-from-lo.pdf" ghostscript "LibreOffice's PDF rewritten at 1.7"
  fi
else
  missing ghostscript
fi

# --- cairo -------------------------------------------------------------------
if [ -n "$CAIRO" ] && [ -x "$CAIRO" ]; then
  "$CAIRO" "$OUT/cairo-default.pdf" default && add cairo-default.pdf cairo "default version, pages of two sizes"
  "$CAIRO" "$OUT/cairo-1.4.pdf" 1.4 && add cairo-1.4.pdf cairo "restricted to PDF 1.4"
else
  missing "the cairo producer"
fi

# --- groff -------------------------------------------------------------------
if command -v groff >/dev/null; then
  groff -ms -Tpdf "$SRC/notes.ms" >"$OUT/groff-ms.pdf" 2>/dev/null
  add groff-ms.pdf groff "ms macros, two pages"
  groff -ms -Tpdf -P-pa4 -P-l "$SRC/notes.ms" >"$OUT/groff-ms-a4-landscape.pdf" 2>/dev/null
  add groff-ms-a4-landscape.pdf groff "ms macros, A4 landscape"
else
  missing groff
fi

# --- pdfTeX ------------------------------------------------------------------
if command -v pdftex >/dev/null; then
  for v in "4:0:1.4, no object streams" "5:2:1.5, object streams"; do
    IFS=: read -r minor level how <<<"$v"
    mkdir -p "$OUT/tex"
    printf '\\pdfminorversion=%s \\pdfobjcompresslevel=%s\n\\input %s\n' "$minor" "$level" "$SRC/paper.tex" \
      >"$OUT/tex/paper-1.$minor.tex"
    (cd "$OUT/tex" && pdftex -interaction=batchmode "paper-1.$minor.tex" >/dev/null 2>&1)
    mv "$OUT/tex/paper-1.$minor.pdf" "$OUT/pdftex-1.$minor.pdf" 2>/dev/null
    add "pdftex-1.$minor.pdf" pdftex "$how"
  done
  rm -rf "$OUT/tex"
else
  missing pdftex
fi

if [ -n "${CHROMIUM_JOB:-}" ]; then
  wait "$CHROMIUM_JOB"
  add chromium-report.pdf chromium "print to PDF, A4"
  add chromium-landscape.pdf chromium "print to PDF, A4 landscape"
fi

# --- Rewrites of every unencrypted document ----------------------------------
cp "$LIST" "$OUT/originals.tsv"
while IFS=$'\t' read -r file producer how field; do
  case "$how" in encrypted*) continue ;; esac
  base="${file%.pdf}"
  if command -v qpdf >/dev/null; then
    for v in "objstm:--object-streams=generate" "linearized:--linearize" "qdf:--qdf" \
      "newline:--newline-before-endstream"; do
      mode="${v%%:*}"
      qpdf "${v#*:}" "$OUT/$file" "$OUT/$base~qpdf-$mode.pdf" >/dev/null 2>&1
      # 3: written, with warnings
      [ -s "$OUT/$base~qpdf-$mode.pdf" ] && add "$base~qpdf-$mode.pdf" "$producer" "$how; qpdf ${v#*:}" "$field"
    done
  fi
  if command -v mutool >/dev/null; then
    for v in "gggg:-gggg" "z:-z" "l:-l"; do
      mode="${v%%:*}"
      mutool clean "${v#*:}" "$OUT/$file" "$OUT/$base~mutool-$mode.pdf" >/dev/null 2>&1
      add "$base~mutool-$mode.pdf" "$producer" "$how; mutool clean ${v#*:}" "$field"
    done
  fi
done <"$OUT/originals.tsv"

# --- Damaged on purpose: every offset is off by a line ------------------------
if [ -s "$OUT/gs-1.4-letter.pdf" ]; then
  { head -c 9 "$OUT/gs-1.4-letter.pdf"; printf '%% shifted\n'; tail -c +10 "$OUT/gs-1.4-letter.pdf"; } \
    >"$OUT/damaged-offsets.pdf"
  add damaged-offsets.pdf damaged "Ghostscript's 1.4 letter with every offset wrong"
fi
rm -f "$OUT/originals.tsv"
echo "make-corpus: $(wc -l <"$LIST") documents in $OUT" >&2
