#pragma once

#include "speech/SpeechModel.h"

#include <QWidget>

// A label and five stars; star i is filled when value >= i.
class ModelRating final : public QWidget {
    Q_OBJECT
public:
    ModelRating(const QString &label, int value, bool compact, QWidget *parent = nullptr);
    QString label() const { return m_label; }
    int value() const { return m_value; }
    // What a screen reader says for the whole element.
    static QString spokenText(const QString &label, int value, bool compact);
    // Under a column that names the rating, only the stars are drawn; the label is still read aloud.
    void setLabelShown(bool shown);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    qreal starSize() const;
    int labelWidth() const;
    QString m_label;
    int m_value;
    bool m_compact;
    bool m_labelShown = true;
};

// A square glyph in the model's accent colour with its symbol.
class ModelGlyph final : public QWidget {
    Q_OBJECT
public:
    ModelGlyph(const SpeechModel &model, int size, QWidget *parent = nullptr);
    void setModel(const SpeechModel &model);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    SpeechModel m_model;
    int m_size;
};

// The product mark: the waveform in the accent colour on a near-black tile.
class BrandMark final : public QWidget {
    Q_OBJECT
public:
    explicit BrandMark(int size, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;
};

// An organisation's logo image from the shipped resources; organisations without one get their
// initial on a neutral disc.
class ProviderLogo final : public QWidget {
    Q_OBJECT
public:
    ProviderLogo(const QString &organization, int width, int height, QWidget *parent = nullptr);
    // The shipped file name for an organisation, or empty.
    static QString imageName(const QString &organization);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_organization;
    QPixmap m_image;
};
