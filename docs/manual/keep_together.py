"""An rst2pdf extension of the user manual: what belongs together stays on one page.

- A figure stays whole. rst2pdf lays a figure out as a table of its image and its caption, which
  may split between the two, and shrinks the image to what is left of a page; here the image and
  the caption are kept together instead, so that a figure that does not fit on what is left of a
  page starts on the next one, at its own size.
- A heading stays with what follows it, also when that is a table or a figure: rst2pdf puts a
  spacer before those, and a heading kept only with the spacer would end a page alone.
"""

from reportlab.platypus.flowables import KeepTogether
from rst2pdf import flowables, genelements

_gather_figure = genelements.HandleFigure.gather_elements


def _figure_kept_together(self, client, node, style):
    kept = []
    for element in _gather_figure(self, client, node, style):
        if isinstance(element, flowables.DelayedTable):  # one row per part: the image, the caption
            parts = []
            for row in element.data:
                for cell in row:
                    parts.extend(cell if isinstance(cell, list) else [cell])
            kept.append(KeepTogether(parts))
        else:
            kept.append(element)
    return kept


def install(createpdf, options):
    genelements.HandleFigure.gather_elements = _figure_kept_together
    # A spacer is the room before or after something: it goes with what comes next.
    flowables.MySpacer.keepWithNext = True
