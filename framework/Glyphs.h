// Tool-bar glyphs drawn in code, each with a greyed variant for the disabled state.
#pragma once

#include <QIcon>

namespace cht::framework {

enum class Glyph {
    Incluir,
    Alterar,
    Excluir,
    Localizar,
    Verificar,
    Imprimir,
    Exportar,
    SalvarPdf,
    Ajuda,
    Fechar,
    Confirmar,
    Cancelar,
    Opcoes
};

QIcon glyphIcon(Glyph glyph);

} // namespace cht::framework
